// The anatomy of network device names.
//
//   \Device\LanmanRedirector\;Z:0000000000012345\server\share\dir\f.txt
//   \Device\Mup\;LanmanRedirector\;Z:0000000000012345\server\share\dir\f.txt
//   \Device\VBoxMiniRdr\;Z:\vboxsvr\share\f.txt
//   \Device\Csc\server\share\f.txt
//   |_device prefix________|_provider part_____|_UNC root____|_remainder
//
// The device prefix ends with the redirector's component; what follows it up to the server is the
// provider's own (a drive letter and logon id, or nothing); the UNC root is the server and the
// share with their backslashes; the remainder is the path on the share.
#pragma once

#include <cstdint>

#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

// Positions are in characters from the start of the parsed name.
struct NetworkNameParts {
    std::uint32_t provider = 0;  // 0: the redirector is not in the table; nothing else is set
    std::uint16_t devicePrefixEnd = 0;
    std::uint16_t uncRootStart = 0;  // the backslash before the server
    std::uint16_t uncRootEnd = 0;    // after the share (or after the server when there is none)
};

// STATUS_OBJECT_PATH_SYNTAX_BAD when the name is not a device name of a recognised form, when
// what follows the provider's part does not start with a backslash, or when the server is empty.
kernel::NTSTATUS ParseNetworkName(const kernel::UnicodeString& name, NetworkNameParts* parts);

// Rewrites a network name through its device prefix's link ("\Device\LanmanRedirector" ->
// "\Device\Mup\;LanmanRedirector"): *rewritten receives the link's target followed by the name
// after the device prefix (a counted string the caller frees), *volumePrefixChars the position at
// which the remainder starts in it. When the device prefix is no link, *rewritten is nullptr and
// *volumePrefixChars 0: the name stays as it is.
// Fails with the parse's status, STATUS_NOT_SUPPORTED for a redirector not in the table, or the
// status of the link lookup.
kernel::NTSTATUS ConvertNetworkName(const kernel::UnicodeString& name,
                                    kernel::UnicodeString** rewritten,
                                    std::uint16_t* volumePrefixChars,
                                    NetworkNameParts* parts = nullptr);

}  // namespace vesk::driver
