// A table from identifiers to display names (users, processes) that streams itself as one
// element holding one key-value child per entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>

#include "rtl/exceptions.h"
#include "streaming/xml_reader.h"
#include "streaming/xml_writer.h"
#include "types/xml_save_load.h"

namespace nimbrel {

// K is std::uint64_t (stored identifiers) or std::uint32_t (process ids).
template <class K>
class TIdentifiedNameDict : public IXMLSaveLoad {
    static_assert(std::is_same_v<K, std::uint64_t> || std::is_same_v<K, std::uint32_t>);

  public:
    TIdentifiedNameDict() = default;
    virtual ~TIdentifiedNameDict() = default;

    int Count() const { return static_cast<int>(FItems.size()); }
    void Clear() { FItems.clear(); }

    // EListError "Duplicates not allowed" when Key is present already.
    void Add(K Key, std::string Value) {
        if (!FItems.emplace(Key, std::move(Value)).second) {
            throw EListError("Duplicates not allowed");
        }
    }

    bool TryGetValue(K Key, std::string& Value) const {
        const auto found = FItems.find(Key);
        if (found == FItems.end()) {
            return false;
        }
        Value = found->second;
        return true;
    }

    // Pairs of key and name, in no particular order.
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

    // <Name> holding per entry an element named Name less its last character, with the children
    // "key" and "value".
    void SaveToXML(TXMLWriter& Writer, std::string_view Name) const override {
        TSavePoint point(Writer);
        Writer.AddNode(Name);
        const std::string_view entryName = Name.substr(0, Name.empty() ? 0 : Name.size() - 1);
        for (const auto& [key, value] : FItems) {
            TSavePoint entryPoint(Writer);
            Writer.AddNode(entryName);
            if constexpr (std::is_same_v<K, std::uint64_t>) {
                Writer.WriteUInt64("key", key);
            } else {
                Writer.WriteUInt("key", key);
            }
            Writer.WriteString("value", value);
        }
    }

    // Clears the table, then adds one entry per child element of <Name>; a key that comes twice
    // raises the duplicate error of Add.
    void LoadFromXML(TXMLReader& Reader, std::string_view Name) override {
        Clear();
        TSavePoint point(Reader);
        Reader.SelectNode(Name);
        const int count = Reader.ItemCount();
        for (int i = 0; i < count; ++i) {
            TSavePoint entryPoint(Reader);
            Reader.SelectNode(i);
            if constexpr (std::is_same_v<K, std::uint64_t>) {
                Add(Reader.ReadUInt64("key"), Reader.ReadString("value"));
            } else {
                Add(Reader.ReadUInt("key"), Reader.ReadString("value"));
            }
        }
    }

  private:
    std::unordered_map<K, std::string> FItems;
};

}  // namespace nimbrel
