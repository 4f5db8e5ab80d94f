// Objects the server stores and identifies, and those of them that carry a name.
#pragma once

#include <cstdint>
#include <string>

#include "remoting/remotable.h"

namespace nimbrel {

class TIdentifiedItem : public TRemotable {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    // Assigned by the server; 0 for an object the server has not stored yet.
    std::uint64_t ID() const { return FID; }
    void SetID(std::uint64_t Value) { FID = Value; }

  private:
    std::uint64_t FID = 0;
};

class TNamedItem : public TIdentifiedItem {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    const std::string& Name() const { return FName; }
    void SetName(std::string Value) { FName = std::move(Value); }

  private:
    std::string FName;
};

}  // namespace nimbrel
