#include "http_comm/xml_command.h"

namespace nimbrel {
namespace {

constexpr std::string_view kNames[kXMLCommandCount] = {
    "XmlInvalidCommand", "XmlGetSettings",      "XmlSetSettings",  "XmlEmailTest",
    "XmlEraseLog",       "XmlGetLog",           "XmlGetFiles",     "XmlGetEvents",
    "XmlGetUsers",       "XmlGetProcs",         "XmlGetCurrProcs", "XmlFindFile",
    "XmlPurgeDatabase",  "XmlGetChronological", "XmlGetReport",    "XmlAddReport",
    "XmlModReport",      "XmlDelReport",        "XmlRunReport",
};

}  // namespace

std::string_view XMLCommandName(TXMLCommand Command) {
    return Command >= 0 && Command < kXMLCommandCount ? kNames[Command] : kNames[0];
}

TXMLCommand XMLCommandFromName(std::string_view Name) {
    for (int i = 0; i < kXMLCommandCount; ++i) {
        if (kNames[i] == Name) {
            return static_cast<TXMLCommand>(i);
        }
    }
    return XmlInvalidCommand;
}

}  // namespace nimbrel
