// The commands of the monitoring protocol. On the wire a command is named by its identifier
// text (XmlGetFiles), never by its number.
#pragma once

#include <cstdint>
#include <string_view>

namespace nimbrel {

enum TXMLCommand : std::int32_t {
    XmlInvalidCommand,  // no command; also what an unknown name reads as
    XmlGetSettings,
    XmlSetSettings,
    XmlEmailTest,
    XmlEraseLog,
    XmlGetLog,
    XmlGetFiles,
    XmlGetEvents,
    XmlGetUsers,
    XmlGetProcs,
    XmlGetCurrProcs,
    XmlFindFile,
    XmlPurgeDatabase,
    XmlGetChronological,
    XmlGetReport,
    XmlAddReport,
    XmlModReport,
    XmlDelReport,
    XmlRunReport,
};

inline constexpr int kXMLCommandCount = 19;

// The identifier text; "XmlInvalidCommand" for a value outside the enumeration.
std::string_view XMLCommandName(TXMLCommand Command);

// The command whose identifier equals Name exactly (case-sensitive); XmlInvalidCommand for any
// other text.
TXMLCommand XMLCommandFromName(std::string_view Name);

}  // namespace nimbrel
