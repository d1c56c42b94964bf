// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

#include <charconv>

#include "platform/language.h"

namespace tarvel::cli {

const char kUsageText[] =
    "Usage:\n"
    "  tarvel-cli create [-n COUNT] [-o BASE] [-f] [--small crc|parity] [-t N] [-q]\n"
    "                    FILE...\n"
    "  tarvel-cli verify [--found leave|rename|copy] [--json] [-t N] [-q] [-r DIR]...\n"
    "                    [VOLUME...]\n"
    "  tarvel-cli repair [--found leave|rename|copy] [--revert-changed] [--json] [-t N]\n"
    "                    [-q] [-r DIR]... [VOLUME...]\n"
    "  tarvel-cli protect [-p PERCENT] [--hidden] [--drop-missing] [--small crc|parity]\n"
    "                     [--json] [-t N] [-q] DIR...\n"
    "  tarvel-cli --help | --version\n"
    "\n"
    "Protects 2 to 250 files of one folder with parity volumes, checks a set and\n"
    "rebuilds missing or damaged files.\n"
    "\n"
    "create   writes BASE.PAR, which lists every file with its size and MD5 digests,\n"
    "         and COUNT parity volumes BASE.P01, BASE.P02, ...\n"
    "  -n COUNT            number of parity volumes, 1 to min(files, 255 - files);\n"
    "                      default files / 10 + 1 (each volume can replace one file)\n"
    "  -o BASE             base name of the volumes (a path without extension);\n"
    "                      default: the first file's name without its extension;\n"
    "                      a check looks for the files beside the volumes\n"
    "  -f, --force         replace volumes of that base name that exist already\n"
    "                      (without it, create refuses and writes nothing)\n"
    "  --small crc|parity  small description and checksum files (.nfo .sfv .diz .txt\n"
    "                      .csv .md5 below 65535 bytes): record their digests only\n"
    "                      (crc, the default) or protect their data too (parity)\n"
    "verify   checks the set of each VOLUME in VOLUME's folder and prints the report\n"
    "         (with several sets, each report follows a line \"== VOLUME\")\n"
    "repair   checks, rebuilds every bad or missing file that parity protects,\n"
    "         checks again and prints the new report\n"
    "  --revert-changed    also rebuild damaged files whose modification time is\n"
    "                      later than the set's (edited after the set was made,\n"
    "                      which repair otherwise leaves as they are)\n"
    "  -r, --recursive DIR every set found below DIR (by the content of its volumes,\n"
    "                      each set once, through its main volume where there is one)\n"
    "  --json              one JSON document on standard output instead of the reports\n"
    "  --found leave|rename|copy\n"
    "                      what to do with a file of the set found under another\n"
    "                      name (default: leave for verify, rename for repair)\n"
    "  -t, --threads N     threads that read, hash and write, 1 or more (default:\n"
    "                      one per CPU, at most four per CPU; 1 does everything on\n"
    "                      one thread)\n"
    "protect  gives every folder at or below each DIR sets of its files (at most 250\n"
    "         each, named after the folder), renews them when files are added or\n"
    "         edited, and names damaged and missing files instead of renewing them\n"
    "  -p PERCENT          parity volumes per set as a share of its files (at least\n"
    "                      1; default as create)\n"
    "  --hidden            protect hidden files and folders too\n"
    "  --drop-missing      renew the sets without the listed files that are gone\n"
    "  -q                  no progress line (it is shown only on a terminal)\n"
    "\n"
    "Exit status (with several sets, the largest of the sets' statuses):\n"
    "0 success; 1 damage that repair can mend, or files changed after the set was\n"
    "made that repair left as they are; 2 damage that cannot be mended (nothing\n"
    "is changed); 3 usage error, unreadable volume or refused files, volumes that\n"
    "exist (create without -f); 4 a file could not be opened, created or written\n"
    "(or a file or volume of the set could not be checked), the disk is full, or a\n"
    "file changed while the set was being created; 5 the check after a repair\n"
    "still finds bad files; 129, 130, 143 interrupted by SIGHUP, SIGINT (Ctrl-C)\n"
    "or SIGTERM.  protect: 0 every folder protected, 1 a file damaged or missing,\n"
    "3 a DIR that is no folder, 4 a folder or file that could not be read.\n";

namespace {

bool ParseCount(const std::string& text, int& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && ptr == last && !text.empty();
}

// The commands an option belongs to.
enum CommandSet : unsigned {
  kCreateOnly = 1u << static_cast<unsigned>(Command::kCreate),
  kRepairOnly = 1u << static_cast<unsigned>(Command::kRepair),
  kChecks = kRepairOnly | 1u << static_cast<unsigned>(Command::kVerify),
  kProtectOnly = 1u << static_cast<unsigned>(Command::kProtect),
  kEvery = kCreateOnly | kChecks | kProtectOnly,
};

// Applies an option (with its value where it takes one) to the options; on a
// bad value sets the error and returns false.
using Apply = bool (*)(Options& o, const std::string& name, const std::string& value,
                       std::string& error);

struct OptionRule {
  const char* shortName;  // nullptr where there is only the long name
  const char* longName;   // nullptr where there is only the short name
  unsigned commands;      // a CommandSet
  bool takesValue;
  Apply apply;
};

// Each option once: its names, the commands that take it, its value and what it sets.
const OptionRule kOptionRules[] = {
    {"-q", "--quiet", kEvery, false,
     [](Options& o, const std::string&, const std::string&, std::string&) {
       o.quiet = true;
       return true;
     }},
    {"-t", "--threads", kEvery, true,
     [](Options& o, const std::string& name, const std::string& v, std::string& error) {
       int n = 0;
       if (!ParseCount(v, n) || n < 1) {
         error = TrFill("%s needs a number of threads, 1 or more, not '%s'", {name, v});
         return false;
       }
       o.threads = n;
       return true;
     }},
    {"-n", nullptr, kCreateOnly, true,
     [](Options& o, const std::string&, const std::string& v, std::string& error) {
       int n = 0;
       if (!ParseCount(v, n)) {
         error = TrFill("-n needs a number, not '%s'", {v});
         return false;
       }
       o.parityCount = n;
       return true;
     }},
    {"-o", nullptr, kCreateOnly, true,
     [](Options& o, const std::string&, const std::string& v, std::string& error) {
       if (v.empty()) {
         error = TR("-o needs a base name");
         return false;
       }
       o.base = v;
       return true;
     }},
    {"-f", "--force", kCreateOnly, false,
     [](Options& o, const std::string&, const std::string&, std::string&) {
       o.force = true;
       return true;
     }},
    {"-p", nullptr, kProtectOnly, true,
     [](Options& o, const std::string&, const std::string& v, std::string& error) {
       int n = 0;
       if (!ParseCount(v, n) || n < 1 || n > 100) {
         error = TrFill("-p needs a share of the files from 1 to 100, not '%s'", {v});
         return false;
       }
       o.percent = n;
       return true;
     }},
    {nullptr, "--hidden", kProtectOnly, false,
     [](Options& o, const std::string&, const std::string&, std::string&) {
       o.hidden = true;
       return true;
     }},
    {nullptr, "--drop-missing", kProtectOnly, false,
     [](Options& o, const std::string&, const std::string&, std::string&) {
       o.dropMissing = true;
       return true;
     }},
    {nullptr, "--small", kCreateOnly | kProtectOnly, true,
     [](Options& o, const std::string&, const std::string& v, std::string& error) {
       if (v != "crc" && v != "parity") {
         error = TrFill("--small takes crc or parity, not '%s'", {v});
         return false;
       }
       o.includeSmallFiles = v == "parity";
       return true;
     }},
    {nullptr, "--revert-changed", kRepairOnly, false,
     [](Options& o, const std::string&, const std::string&, std::string&) {
       o.revertChanged = true;
       return true;
     }},
    {nullptr, "--json", kChecks | kProtectOnly, false,
     [](Options& o, const std::string&, const std::string&, std::string&) {
       o.json = true;
       return true;
     }},
    {"-r", "--recursive", kChecks, true,
     [](Options& o, const std::string& name, const std::string& v, std::string& error) {
       if (v.empty()) {
         error = TrFill("%s needs a folder", {name});
         return false;
       }
       o.roots.push_back(v);
       return true;
     }},
    {nullptr, "--found", kChecks, true,
     [](Options& o, const std::string&, const std::string& v, std::string& error) {
       if (v == "leave") {
         o.found = FoundAction::kLeave;
       } else if (v == "rename") {
         o.found = FoundAction::kRename;
       } else if (v == "copy") {
         o.found = FoundAction::kCopy;
       } else {
         error = TrFill("--found takes leave, rename or copy, not '%s'", {v});
         return false;
       }
       return true;
     }},
};

const OptionRule* FindRule(const std::string& arg, Command command) {
  for (const OptionRule& rule : kOptionRules) {
    bool named =
        (rule.shortName && arg == rule.shortName) || (rule.longName && arg == rule.longName);
    if (named && (rule.commands & (1u << static_cast<unsigned>(command)))) return &rule;
  }
  return nullptr;
}

// The command word: help and version end the parse, the three actions set
// their defaults (repair renames a file found under another name).
std::optional<Options> ParseCommand(const std::string& cmd, std::string& error) {
  Options o;
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    o.command = Command::kHelp;
  } else if (cmd == "--version") {
    o.command = Command::kVersion;
  } else if (cmd == "create") {
    o.command = Command::kCreate;
  } else if (cmd == "verify") {
    o.command = Command::kVerify;
  } else if (cmd == "protect") {
    o.command = Command::kProtect;
  } else if (cmd == "repair") {
    o.command = Command::kRepair;
    o.found = FoundAction::kRename;
  } else {
    error = TrFill("unknown command '%s'", {cmd});
    return std::nullopt;
  }
  return o;
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  if (args.empty()) {
    error = TR("no command given");
    return std::nullopt;
  }
  const std::string& cmd = args[0];
  std::optional<Options> o = ParseCommand(cmd, error);
  if (!o || o->command == Command::kHelp || o->command == Command::kVersion) return o;

  bool optionsEnded = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
      o->operands.push_back(a);
    } else if (a == "--") {
      optionsEnded = true;
    } else if (a == "--help" || a == "-h") {
      o->command = Command::kHelp;
      return o;
    } else if (const OptionRule* rule = FindRule(a, o->command)) {
      if (rule->takesValue && i + 1 >= args.size()) {
        error = TrFill("option %s needs a value", {a});
        return std::nullopt;
      }
      const std::string& value = rule->takesValue ? args[++i] : std::string();
      if (!rule->apply(*o, a, value, error)) return std::nullopt;
    } else {
      error = TrFill("unknown option '%s' for %s", {a, cmd});
      return std::nullopt;
    }
  }

  if (o->command == Command::kCreate) {
    if (o->operands.empty()) {
      error = TR("create needs the files to protect");
      return std::nullopt;
    }
  } else if (o->command == Command::kProtect) {
    if (o->operands.empty()) {
      error = TR("protect needs a folder");
      return std::nullopt;
    }
  } else if (o->operands.empty() && o->roots.empty()) {
    error = TrFill("%s needs a volume or -r DIR", {cmd});
    return std::nullopt;
  }
  return o;
}

}  // namespace tarvel::cli
