// The published properties of a remotable class: an ordered table that is the class's whole
// streaming contract (element names, element order, value kinds, volatile flags).
//
// A class declares its own properties with Field (a data member) or Accessor (a getter and a
// setter); its table names the base class's table, whose properties come first.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "rtl/string_list.h"
#include "types/xml_save_load.h"

namespace nimbrel {

class TRemotable;

using TBytes = std::vector<std::uint8_t>;

enum class TPropKind : std::uint8_t {
    Boolean,
    Cardinal,  // unsigned 32-bit
    Ordinal,   // signed 32-bit, enumeration ordinal or set bit mask
    Int64,
    UInt64,
    DateTime,
    Date,
    Float,
    String,
    Bytes,
    Strings,    // a string list
    Object,     // a remotable sub-object owned by the object
    Container,  // a sub-object that streams itself under its element name (IXMLSaveLoad)
};

// The value of a property of any kind but Object and Container.
using TPropValue = std::variant<bool, std::uint32_t, std::int32_t, std::int64_t, std::uint64_t,
                                double, std::string, TBytes, TStringList>;

struct TPropInfo {
    std::string Name;         // as declared, e.g. UserID
    std::string ElementName;  // the name in lower case (ASCII letters only), e.g. userid
    TPropKind Kind;
    bool Volatile;  // run-time information of the server, not part of the stored state
    TPropValue (*Get)(const TRemotable&) = nullptr;
    void (*Set)(TRemotable&, TPropValue&&) = nullptr;
    TRemotable* (*Object)(const TRemotable&) = nullptr;
    IXMLSaveLoad* (*Container)(const TRemotable&) = nullptr;
};

class TPropTable {
  public:
    TPropTable(std::string_view ClassName, const TPropTable* Parent, std::vector<TPropInfo> Own);

    const std::string& ClassName() const { return FClassName; }
    // Every property in streaming order: the base classes' first.
    const std::vector<TPropInfo>& Properties() const { return FProperties; }
    // True when this is Other's table or the table of a class derived from Other's class.
    bool InheritsFrom(const TPropTable& Other) const;

  private:
    std::string FClassName;
    const TPropTable* FParent;
    std::vector<TPropInfo> FProperties;
};

// An enumeration set streamed as its bit mask.
template <class T>
concept OrdinalSet = requires(const T& Set, std::int32_t Mask) {
    { Set.Mask() } -> std::convertible_to<std::int32_t>;
    { T::FromMask(Mask) } -> std::same_as<T>;
};

namespace property_detail {

template <class T>
constexpr TPropKind KindOf() {
    if constexpr (std::is_same_v<T, bool>) {
        return TPropKind::Boolean;
    } else if constexpr (std::is_same_v<T, std::uint32_t>) {
        return TPropKind::Cardinal;
    } else if constexpr (std::is_same_v<T, std::int32_t> || std::is_enum_v<T> || OrdinalSet<T>) {
        return TPropKind::Ordinal;
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        return TPropKind::Int64;
    } else if constexpr (std::is_same_v<T, std::uint64_t>) {
        return TPropKind::UInt64;
    } else if constexpr (std::is_same_v<T, std::string>) {
        return TPropKind::String;
    } else if constexpr (std::is_same_v<T, TBytes>) {
        return TPropKind::Bytes;
    } else if constexpr (std::is_same_v<T, TStringList>) {
        return TPropKind::Strings;
    } else if constexpr (std::is_base_of_v<TRemotable, T>) {
        return TPropKind::Object;
    } else if constexpr (std::is_base_of_v<IXMLSaveLoad, T>) {
        return TPropKind::Container;
    } else {
        static_assert(!std::is_same_v<T, double>,
                      "a floating-point property names its kind: DateTime, Date or Float");
        static_assert(std::is_same_v<T, void>, "no property kind for this type");
    }
}

// The value as the property's kind carries it (enumerations and sets as 32-bit ordinals).
template <class T>
TPropValue ToValue(const T& Value) {
    if constexpr (std::is_enum_v<T>) {
        return static_cast<std::int32_t>(Value);
    } else if constexpr (OrdinalSet<T>) {
        return static_cast<std::int32_t>(Value.Mask());
    } else {
        return Value;
    }
}

template <class T>
T FromValue(TPropValue&& Value) {
    if constexpr (std::is_enum_v<T>) {
        return static_cast<T>(std::get<std::int32_t>(Value));
    } else if constexpr (OrdinalSet<T>) {
        return T::FromMask(std::get<std::int32_t>(Value));
    } else {
        return std::get<T>(std::move(Value));
    }
}

template <class>
struct MemberOf;
template <class C, class T>
struct MemberOf<T C::*> {
    using Class = C;
    using Type = T;
};

template <class>
struct GetterOf;
template <class C, class R>
struct GetterOf<R (C::*)() const> {
    using Class = C;
    using Type = std::remove_cvref_t<R>;
};

TPropInfo MakeInfo(std::string_view Name, TPropKind Kind);

}  // namespace property_detail

// A property stored in the data member Member.
template <auto Member, class T = typename property_detail::MemberOf<decltype(Member)>::Type>
TPropInfo Field(std::string_view Name, TPropKind Kind = property_detail::KindOf<T>()) {
    using C = typename property_detail::MemberOf<decltype(Member)>::Class;
    TPropInfo info = property_detail::MakeInfo(Name, Kind);
    if constexpr (std::is_base_of_v<TRemotable, T>) {
        info.Object = [](const TRemotable& Self) -> TRemotable* {
            return const_cast<T*>(&(static_cast<const C&>(Self).*Member));
        };
    } else if constexpr (std::is_base_of_v<IXMLSaveLoad, T>) {
        info.Container = [](const TRemotable& Self) -> IXMLSaveLoad* {
            return const_cast<T*>(&(static_cast<const C&>(Self).*Member));
        };
    } else {
        info.Get = [](const TRemotable& Self) {
            return property_detail::ToValue(static_cast<const C&>(Self).*Member);
        };
        info.Set = [](TRemotable& Self, TPropValue&& Value) {
            static_cast<C&>(Self).*Member = property_detail::FromValue<T>(std::move(Value));
        };
    }
    return info;
}

// A property read through Getter and written through Setter (member functions, may be virtual).
template <auto Getter, auto Setter,
          class T = typename property_detail::GetterOf<decltype(Getter)>::Type>
TPropInfo Accessor(std::string_view Name, TPropKind Kind = property_detail::KindOf<T>()) {
    using C = typename property_detail::GetterOf<decltype(Getter)>::Class;
    TPropInfo info = property_detail::MakeInfo(Name, Kind);
    info.Get = [](const TRemotable& Self) {
        return property_detail::ToValue((static_cast<const C&>(Self).*Getter)());
    };
    info.Set = [](TRemotable& Self, TPropValue&& Value) {
        (static_cast<C&>(Self).*Setter)(property_detail::FromValue<T>(std::move(Value)));
    };
    return info;
}

// The same property marked volatile: left out of clipboard documents (see VolatileMode).
TPropInfo AsVolatile(TPropInfo Info);

}  // namespace nimbrel
