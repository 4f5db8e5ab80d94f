#include "usage_text.h"

namespace vesk::console {

namespace {

constexpr const char* kSyntax =
    "Vesk\r\n"
    "Demo application\r\n"
    "Version 1.0\r\n"
    "----------------------------\r\n"
    "\r\n"
    "Syntax:\r\n"
    "  veskd mon [*|filter] [pattern]\r\n"
    "  veskd stat\r\n"
    "  veskd load\r\n"
    "  veskd unload\r\n"
    "  veskd install <dpath>\r\n"
    "  veskd uninstall\r\n"
    "  veskd rule add <filter> <pattern> [<switches>]\r\n"
    "  veskd rule delete <pattern> [<type>]\r\n"
    "  veskd rule clear [<type>]\r\n"
    "  veskd help\r\n";

constexpr const char* kDetails =
    "\r\n"
    "Commands:\r\n"
    "  mon\t\tStarts demo in monitor mode.\r\n"
    "  stat\t\tStarts demo in statistic mode.\r\n"
    "  load\t\tStarts filtering engine.\r\n"
    "  unload\tStops filtering engine.\r\n"
    "  install\tInstalls filtering engine into system.\r\n"
    "  uninstall\tRemoves filtering engine from system.\r\n"
    "  rule\t\tManages rules configuration database.\r\n"
    "  help\t\tDisplays this detailed help information.\r\n"
    "\r\n"
    "Parameters:\r\n"
    "  filter\tSpecifies operations to be displayed:\r\n"
    "        \tc - create and close, r - read, w - write\r\n"
    "        \tv - volume, s - security, i - set information\r\n"
    "        \td - delete, l - link, m - rename and move\r\n"
    "        \tf - file system control, p - threads and processes\r\n"
    "  pattern\tTarget file name pattern used to determine\r\n"
    "         \twhether or not to print notification details.\r\n"
    "  dpath\t\tPath to a directory containing drivers and other modules\r\n"
    "       \t\tto be installed. Relative paths (such as . or ..) are allowed.\r\n"
    "  type\t\tIndicates where rule should be searched in:\r\n"
    "        \tdb - database, mem - memory (default), all - both\r\n"
    "\r\n"
    "Rule add switches:\r\n"
    "  /s\t\tSaves the specified rule in the database too.\r\n"
    "\r\n"
    "Usage examples:\r\n"
    "  veskd mon\r\n"
    "    Monitors all operations for all objects.\r\n"
    "  veskd mon * *.exe\r\n"
    "    Monitors all operations for an executable files.\r\n"
    "  veskd mon rw *.txt\r\n"
    "    Monitors reads and writes for a files with .txt extension.\r\n";

}  // namespace

std::string UsageText(bool full) {
    return full ? std::string(kSyntax) + kDetails : std::string(kSyntax);
}

}  // namespace vesk::console
