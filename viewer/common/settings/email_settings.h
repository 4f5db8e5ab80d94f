// Outgoing e-mail settings of the monitoring service.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "remoting/remotable.h"

namespace nimbrel {

class TEmailSettings : public TRemotable {
  public:
    enum TAuthType : std::int32_t { atNone, atAuth, atSASL };
    enum TConnType : std::int32_t { ctRegular, ctStartTLS, ctTLS };

    // "None", "AUTH LOGIN", "SASL"; "Regular", "Secure to regular port (STARTTLS)", "Secure to
    // dedicated port (TLS)": the settings dialog's choices. Empty for unknown ordinals.
    static std::string_view AuthTypeName(TAuthType Value);
    static std::string_view ConnTypeName(TConnType Value);

    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value) { FEnabled = Value; }
    // The SMTP server as host or host:port.
    const std::string& ServName() const { return FServName; }
    void SetServName(std::string Value) { FServName = std::move(Value); }
    const std::string& FromAddr() const { return FFromAddr; }
    void SetFromAddr(std::string Value) { FFromAddr = std::move(Value); }
    const std::string& FromName() const { return FFromName; }
    void SetFromName(std::string Value) { FFromName = std::move(Value); }
    TAuthType AuthType() const { return FAuthType; }
    void SetAuthType(TAuthType Value) { FAuthType = Value; }
    const std::string& AuthUser() const { return FAuthUser; }
    void SetAuthUser(std::string Value) { FAuthUser = std::move(Value); }
    const std::string& AuthPass() const { return FAuthPass; }
    void SetAuthPass(std::string Value) { FAuthPass = std::move(Value); }
    TConnType ConnType() const { return FConnType; }
    void SetConnType(TConnType Value) { FConnType = Value; }

    // ServName up to its first ":" (all of it when there is none).
    std::string ServHost() const;
    // The text after the first ":" as an integer (EConvertError when it is none); 25 without ":".
    std::int32_t ServPort() const;

  private:
    bool FEnabled = false;
    std::string FServName;
    std::string FFromAddr;
    std::string FFromName;
    TAuthType FAuthType = atNone;
    std::string FAuthUser;
    std::string FAuthPass;
    TConnType FConnType = ctRegular;
};

}  // namespace nimbrel
