// An ordered list of remotable objects that streams itself as one element holding one child per
// item.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "remoting/remotable.h"
#include "rtl/exceptions.h"
#include "streaming/xml_reader.h"
#include "streaming/xml_writer.h"
#include "types/xml_save_load.h"

namespace nimbrel {

template <class T>
class TRemotableList : public IXMLSaveLoad {
    static_assert(std::is_base_of_v<TRemotable, T>);

  public:
    // An owning list frees its items when they are deleted or cleared and when it is destroyed.
    // A non-owning list is a view that hands items over; it cannot load from a document.
    explicit TRemotableList(bool OwnsObjects = true) : FOwnsObjects(OwnsObjects) {}
    virtual ~TRemotableList() { Clear(); }

    TRemotableList(const TRemotableList&) = delete;
    TRemotableList& operator=(const TRemotableList&) = delete;

    bool OwnsObjects() const { return FOwnsObjects; }
    int Count() const { return static_cast<int>(FItems.size()); }

    T* operator[](int Index) const {
        CheckIndex(Index);
        return FItems[static_cast<std::size_t>(Index)];
    }

    // Appends Item; an owning list takes it over (also when appending fails).
    T* Add(T* Item) {
        std::unique_ptr<T> guard(FOwnsObjects ? Item : nullptr);
        FItems.push_back(Item);
        guard.release();
        return Item;
    }
    T* Add(std::unique_ptr<T> Item) {
        NIMBREL_ASSERT(FOwnsObjects);
        return Add(Item.release());
    }

    void Delete(int Index) {
        CheckIndex(Index);
        T* item = FItems[static_cast<std::size_t>(Index)];
        FItems.erase(FItems.begin() + Index);
        if (FOwnsObjects) {
            delete item;
        }
    }

    void Clear() {
        if (FOwnsObjects) {
            for (T* item : FItems) {
                delete item;
            }
        }
        FItems.clear();
    }

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

    // <Name> holding one element per item, named Name less its last character (items: item).
    void SaveToXML(TXMLWriter& Writer, std::string_view Name) const override {
        TSavePoint point(Writer);
        Writer.AddNode(Name);
        const std::string_view itemName = Name.substr(0, Name.empty() ? 0 : Name.size() - 1);
        for (const T* item : FItems) {
            TSavePoint itemPoint(Writer);
            Writer.AddNode(itemName);
            item->SaveToXML(Writer);
        }
    }

    // Clears the list, then creates one item per child element of <Name>, in document order
    // (names of the children play no part). An item that fails to load is freed and the error
    // passes; the items before it stay in the list.
    void LoadFromXML(TXMLReader& Reader, std::string_view Name) override {
        NIMBREL_ASSERT(FOwnsObjects);
        Clear();
        TSavePoint point(Reader);
        Reader.SelectNode(Name);
        const int count = Reader.ItemCount();
        FItems.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            TSavePoint itemPoint(Reader);
            Reader.SelectNode(i);
            auto item = std::make_unique<T>();
            item->LoadFromXML(Reader);
            Add(std::move(item));
        }
    }

  private:
    void CheckIndex(int Index) const {
        if (Index < 0 || Index >= Count()) {
            throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
        }
    }

    std::vector<T*> FItems;
    bool FOwnsObjects;
};

}  // namespace nimbrel
