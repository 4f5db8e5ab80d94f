// The monitoring service's settings as the viewer fetches, edits and stores them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "remoting/remotable.h"
#include "settings/email_settings.h"
#include "settings/filter.h"

namespace nimbrel {

// How long the service keeps access records.
enum TDBKeepRecords : std::int32_t {
    krOneDay,
    krOneWeek,
    krOneMonth,
    krThreeMonths,
    krSixMonths,
    krOneYear,
    krIndefinitely,
};

// "1 day", "1 week", "1 month", "3 months", "6 months", "1 year", "Indefinitely"; empty for an
// unknown ordinal.
std::string_view DBKeepRecordsName(TDBKeepRecords Value);

// A new object holds its e-mail settings and filter and leaves every other value empty, zero
// or false. RunTimeDBPath, RunTimeDBSize and VersionString are run-time information of the
// service (volatile): they travel over HTTP in both directions and are left out of clipboard
// text.
class TCommonSettings : public TRemotable {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    // The service's access password; once stored, also the viewer's request password.
    const std::string& UserPassword() const { return FUserPassword; }
    void SetUserPassword(std::string Value) { FUserPassword = std::move(Value); }
    TDBKeepRecords DBKeepRecords() const { return FDBKeepRecords; }
    void SetDBKeepRecords(TDBKeepRecords Value) { FDBKeepRecords = Value; }
    TEmailSettings& Email() { return FEmail; }
    const TEmailSettings& Email() const { return FEmail; }
    TFilter& Filter() { return FFilter; }
    const TFilter& Filter() const { return FFilter; }

    virtual std::string VersionString() const { return FVersionString; }
    virtual std::string RunTimeDBPath() const { return FRunTimeDBPath; }
    virtual std::uint64_t RunTimeDBSize() const { return FRunTimeDBSize; }
    virtual void SetVersionString(const std::string& Value) { FVersionString = Value; }
    virtual void SetRunTimeDBPath(const std::string& Value) { FRunTimeDBPath = Value; }
    virtual void SetRunTimeDBSize(std::uint64_t Value) { FRunTimeDBSize = Value; }

  private:
    std::string FUserPassword;
    TDBKeepRecords FDBKeepRecords = krOneDay;
    TEmailSettings FEmail;
    TFilter FFilter;
    std::string FRunTimeDBPath;
    std::uint64_t FRunTimeDBSize = 0;
    std::string FVersionString;
};

}  // namespace nimbrel
