// scrpack's actions, their options and their help, in one table: the help
// of the tool and of each action, the bash completion and the tests are made
// from it. The man page says the same at more length; a test checks that it
// names every option here. Where systems differ, the system's own words
// (system.h) fill in.
#include "tools/scrpack/scrpack.h"

#include "tools/scrpack/system.h"

#include "res/languages.h"

#include <algorithm>
#include <iterator>

#ifndef SCRPACK_VERSION
#error "SCRPACK_VERSION comes from the project's version"
#endif

namespace scrpack {

const char* const kVersion = "scrpack " SCRPACK_VERSION;

namespace {

const size_t kWidth = 79;  // every help line fits an 80-column terminal

const Option kForce = {'f', "force", nullptr, "replace OUT if it exists"};
const Option kThreads = {0, "threads", "N",
                         "1: compress on one thread; 2 or more: search matches on a second (the default where "
                         "there are two cores); the bytes are the same"};
const Option kInclude = {
    'I', "include", "PATTERN",
    "only the entries whose path matches PATTERN (may be repeated): a shell pattern (* ? [...]) matched against "
    "the path list --json shows ('/'-separated, below the Windows directory), case ignored; a PATTERN without "
    "'/' matches the file name in any folder. A PATTERN that matches nothing is an error (exit 1), said after "
    "the rest is done"};

std::vector<Action> MakeActions() {
    std::vector<Action> actions;
    actions.push_back(
        {"pack",
         "write an installer from a stub, a title and files",
         "-o OUT.exe [--language LANG | --stub STUB.exe] --title TITLE [OPTION...] SAVER DATA [EXTRA...]",
         {"Writes the installer OUT.exe: the stub with a package holding SAVER (entry 0, installed as BASE.SCR in "
          "the Windows directory), DATA (entry 1, BASE.DAT in the data folder) and each EXTRA (entries 2 and up, "
          "FILEnnnn.EXT in the data folder), in that order; BASE comes from OUT's file name. Each file is "
          "compressed unless --store is given or compression would not make it smaller, and every compressed "
          "stream is expanded again and compared before anything is written. Each entry's extension is the "
          "file's own (at most 4 characters with the dot). A name for OUT that would make two files install to "
          "one path is refused. A stub that is signed is refused: sign the installer after packing it."},
         {{'o', "output", "OUT.exe", "the installer to write; \"-\" for standard output"},
          {0, "language", "LANG",
           "the language the installer speaks to the people who run it: nl (Dutch, the default), en (English), "
           "de (German), fr (French); its stub is found where the Dutch one is, as stub-LANG.exe"},
          {0, "stub", "STUB.exe", sys::kStubHelp},
          {0, "title", "TITLE", sys::kTitleHelp},
          {0, "first-number", "N", "file number of the first extra file, 0 to 65535 (default 1: FILE0001)"},
          {0, "store", nullptr, "store every file as is"},
          kThreads,
          kForce},
         {"Exit: 0 written, 1 usage, I/O error or a file the format cannot carry, 2 unusable stub."},
         Pack});
    actions.push_back(
        {"list",
         "show what installers hold and where they install it",
         "[--json] [-I PATTERN]... INSTALLER...",
         {"Shows the package of each INSTALLER (\"-\": standard input, its files named as for stdin.exe): title, first "
          "file number, the language its dialogs speak (one of pack's languages, or unknown for any other stub), "
          "where the package starts, whether the installer is signed (it carries an Authenticode signature, not "
          "checked "
          "here), and for every entry its index, role, where the installer writes it (for an installer of this "
          "file name, relative to the Windows directory), file offset, stored size, installed size and whether "
          "it is stored or compressed; then the total installed size. Characters that are not printable are "
          "shown as \\xNN."},
         {{0, "json", nullptr,
           "one JSON array, one object per INSTALLER: file, title, first_number, language (\"nl\", \"en\", \"de\", "
           "\"fr\" or null), "
           "package_offset, signed, "
           "total_size, entries (index, role: saver, data or extra; path: '/'-separated below the Windows "
           "directory; offset, stored_size, original_size: the installed size; compressed); an installer that "
           "cannot be read gives an object with file and error. Printed with -q too"},
          kInclude},
         {"Exit: 0 listed, 1 usage or I/O error or a PATTERN that matches nothing, 2 not an installer or a "
          "damaged catalogue."},
         List});
    actions.push_back(
        {"verify",
         "check installers the way their stub reads them, and every stream",
         "[--json] INSTALLER...",
         {"Checks each INSTALLER (\"-\": standard input) the way its stub reads itself: the package is found, the "
          "catalogue ends before the end of the file and lists at least one file, every entry's bytes lie "
          "inside the file, no extension holds a character Windows refuses in a file name; then what the stub "
          "finds only while installing: no two entries install to the same path (for an installer of this file "
          "name, case ignored), and every compressed entry expands to exactly its original size. A signature "
          "after the package (signed installers) is part of no entry and is fine. Prints one verdict line per "
          "INSTALLER, with the reason when it is not OK; warns when the files together reach 2 GiB."},
         {{0, "json", nullptr,
           "one JSON array, one object per INSTALLER: file, verdict (\"ok\", \"damaged\", \"not an installer\", "
           "\"unreadable\"), reason (null when ok), warnings, and entries (index, path, verdict, reason). "
           "Printed with -q too"}},
         {"Exit: 0 sound, 1 usage or I/O error, 2 damaged or not an installer."},
         Verify});
    actions.push_back(
        {"extract",
         "write installers' files as they would install, below a folder",
         "[-d DIR | -p] [-I PATTERN]... [-f] [--salvage] INSTALLER...",
         {"Writes every entry of each INSTALLER (or those -I picks) where the installer would, with DIR standing "
          "for the Windows directory: DIR/BASE.SCR, DIR/TORVANEL/KAVRELIN/BASE/BASE.DAT and "
          "DIR/TORVANEL/KAVRELIN/BASE/FILEnnnn.EXT, BASE coming from INSTALLER's file name.",
          "Nothing is written outside DIR: no symbolic link below it is followed. All or nothing: the whole "
          "installer is checked first (as verify does, and the destinations), then every file is written under "
          "a temporary name and all are put in place in one step, undone whole when any part of it fails. A "
          "damaged installer, an existing file (without -f), a failed write or an interrupt leaves nothing "
          "behind. An installer being extracted is never replaced."},
         {{'d', "directory", "DIR",
           "the folder standing for the Windows directory (default: the current folder); created with its "
           "parents when missing"},
          {'p', "stdout", nullptr,
           "write the entries' bytes to standard output instead, one after another and nothing else there "
           "(messages go to standard error); not to a terminal without -f"},
          kInclude,
          {'f', "force", nullptr, "replace files that exist; with -p, write to a terminal"},
          {0, "salvage", nullptr,
           "write every entry as the decoder expands it, damaged ones too (zero bits past a cut stream, what "
           "is left of a cut file), with a warning for each; for rescuing what can be from a damaged "
           "download"}},
         {"Exit: 0 extracted, 1 usage or I/O error, a destination exists or a PATTERN matches nothing, 2 damaged "
          "(with --salvage: something was damaged, the rest is written)."},
         Extract});
    actions.push_back({"compress",
                       "write the compressed stream of a file",
                       "[--threads N] [-f] IN OUT",
                       {"Writes the compressed stream of IN to OUT, as a compressed entry stores it, and prints "
                        "the original and stored sizes. \"-\" is standard input (IN) or output (OUT).",
                        sys::kInPlaceHelp},
                       {kThreads, {'f', "force", nullptr, "replace OUT if it exists; write to a terminal"}},
                       {"Exit: 0 written, 1 usage or I/O error."},
                       Compress});
    actions.push_back(
        {"expand",
         "expand a compressed stream",
         "--size N [-f] IN OUT",
         {"Expands the compressed stream IN (its stored size is IN's length) into OUT, N bytes. Every stream "
          "gives defined bytes: a stream that needs bits past its stored size goes on with zero bits, and OUT "
          "is written all the same, with a warning saying how many bytes were missing (exit 2). A size N that "
          "the stream cannot give without such bits (more than 24 times its stored size) is refused. \"-\" is "
          "standard input (IN) or output (OUT).",
          sys::kInPlaceHelp},
         {{0, "size", "N", "the original size"}, kForce},
         {"Exit: 0 written, 1 usage or I/O error, 2 damaged stream (OUT written as the decoder gave it)."},
         Expand});
    actions.push_back({"help",
                       "show the help of the tool, or of one action",
                       "[ACTION]",
                       {"Shows the help of ACTION, or without one, of the whole tool."},
                       {},
                       {"Exit: 0 shown, 1 an unknown action."},
                       Help});
    return actions;
}

// `text` wrapped at word boundaries to kWidth columns: the first line goes
// on from column `first` (what is written before it), every later one starts
// with `indent` blanks. A line break in the text is kept.
std::string Wrap(const std::string& text, size_t indent = 0, size_t first = 0) {
    std::string out;
    size_t column = first;
    bool empty = true;  // nothing of the text on this line yet
    auto newLine = [&]() {
        out += "\n" + std::string(indent, ' ');
        column = indent;
        empty = true;
    };
    for (size_t at = 0; at < text.size();) {
        if (text[at] == '\n') {
            newLine();
            at++;
            continue;
        }
        size_t end = text.find_first_of(" \n", at);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(at, end - at);
        if (!empty && column + 1 + word.size() > kWidth) newLine();
        if (!empty) {
            out += ' ';
            column++;
        }
        out += word;
        column += word.size();
        empty = false;
        at = end < text.size() && text[end] == ' ' ? end + 1 : end;
    }
    return out + "\n";
}

std::string OptionName(const Option& option) {
    std::string name = option.shortName ? std::string("-") + option.shortName + ", " : "    ";
    name += std::string("--") + option.longName;
    if (option.argument) name += std::string(" ") + option.argument;
    return "  " + name;
}

std::string OptionsHelp(const std::vector<Option>& options) {
    size_t column = 0;
    for (const Option& option : options) column = std::max(column, OptionName(option).size() + 2);
    if (column > 28) column = 28;
    std::string out;
    for (const Option& option : options) {
        std::string name = OptionName(option);
        if (name.size() + 2 > column)
            out += name + "\n" + std::string(column, ' ') + Wrap(option.help, column, column);
        else
            out += name + std::string(column - name.size(), ' ') + Wrap(option.help, column, column);
    }
    return out;
}

}  // namespace

const std::vector<Action>& Actions() {
    static const std::vector<Action> actions = MakeActions();
    return actions;
}

const Action* FindAction(const std::string& name) {
    for (const Action& action : Actions())
        if (name == action.name) return &action;
    return nullptr;
}

std::vector<Option> AllOptions(const Action& action) {
    std::vector<Option> options = action.options;
    options.insert(options.end(), std::begin(kCommonOptions), std::end(kCommonOptions));
    return options;
}

std::string ToolHelp() {
    std::string out =
        "usage: scrpack [-q] ACTION [OPTION...] [ARGUMENT...]\n"
        "       scrpack help [ACTION] | --help | --version\n"
        "\n"
        "Packs, inspects and unpacks screen saver installers.\n"
        "\n";
    for (const Action& action : Actions())
        out += "  " + std::string(action.name) + std::string(10 - std::string(action.name).size(), ' ') +
               Wrap(action.summary, 12, 12);
    out += "\n" + OptionsHelp({kCommonOptions[0], {'V', "version", nullptr, "print the version"}, kCommonOptions[1]});
    out += "\n" +
           Wrap(
               "Options go anywhere before \"--\", as getopt_long takes them: short ones grouped (-fq), values "
               "joined or apart (-dDIR, -d DIR, --directory=DIR), long ones abbreviated to any unique prefix.") +
           "\n" +
           Wrap(
               "Exit: 0 ok, 1 usage or I/O error, 2 bad data (an installer or stream that is damaged, or a file "
               "that is not an installer). With several files, the worst of their verdicts.") +
           Wrap(
               "Environment: SCRPACK_STUB names the stub pack uses when --stub is not given (with --language, the "
               "stubs of the other languages lie beside it).");
    if (*sys::kSystemNotes) out += "\n" + Wrap(sys::kSystemNotes);
    return out;
}

std::string ActionHelp(const std::string& name) {
    const Action* action = FindAction(name);
    if (!action) return "";
    std::string usage = "usage: scrpack " + std::string(action->name) + " ";
    std::string out = usage + Wrap(action->usage, usage.size(), usage.size());
    for (const char* paragraph : action->about) out += "\n" + Wrap(paragraph, 0);
    out += "\n" + OptionsHelp(AllOptions(*action));
    for (const char* paragraph : action->notes) out += "\n" + Wrap(paragraph, 0);
    return out;
}

// The argument an option takes, as bash completes it: folders, files, the
// installer languages, or nothing it could know.
static const char* CompletionOf(const char* argument) {
    std::string a = argument;
    if (a == "DIR") return "dirs";
    if (a == "LANG") return "languages";
    if (a.size() > 4 && a.compare(a.size() - 4, 4, ".exe") == 0) return "files";
    return "none";
}

std::string BashCompletion() {
    std::string actions, cases, dirs, files, languages, none, codes;
    for (const InstallerLanguage& language : kInstallerLanguages)
        codes += (codes.empty() ? "" : " ") + std::string(language.code);
    auto add = [](std::string* list, const std::string& word) { *list += (list->empty() ? "" : "|") + word; };
    for (const Action& action : Actions()) {
        actions += (actions.empty() ? "" : " ") + std::string(action.name);
        std::string words;
        for (const Option& option : AllOptions(action)) {
            std::vector<std::string> names = {std::string("--") + option.longName};
            if (option.shortName) names.insert(names.begin(), std::string("-") + option.shortName);
            for (const std::string& n : names) {
                words += (words.empty() ? "" : " ") + n;
                if (!option.argument) continue;
                std::string kind = CompletionOf(option.argument);
                std::string* list = kind == "dirs"        ? &dirs
                                    : kind == "files"     ? &files
                                    : kind == "languages" ? &languages
                                                          : &none;
                if (("|" + *list + "|").find("|" + n + "|") == std::string::npos) add(list, n);
            }
        }
        cases += "        " + std::string(action.name) + ") options=\"" + words + "\" ;;\n";
    }
    return "# bash completion for scrpack: actions, their options, and files.\n"
           "# Made by the build from scrpack's table of actions; do not edit.\n"
           "_scrpack() {\n"
           "    local cur prev words cword\n"
           "    if declare -F _init_completion >/dev/null; then\n"
           "        _init_completion || return\n"
           "    else\n"
           "        cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "        words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD\n"
           "    fi\n"
           "    local actions=\"" +
           actions +
           "\"\n"
           "    local action=\"\" i\n"
           "    for ((i = 1; i < cword; i++)); do\n"
           "        case ${words[i]} in\n"
           "            -q|--quiet) ;;\n"
           "            *) action=${words[i]}; break ;;\n"
           "        esac\n"
           "    done\n"
           "    if [[ -z $action ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$actions -q --quiet -h --help -V --version\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    if [[ $action == help && $cur != -* ]]; then\n"
           "        [[ $cword -eq $((i + 1)) ]] && COMPREPLY=($(compgen -W \"$actions\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    case $prev in\n"
           "        " +
           dirs +
           ") COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n"
           "        " +
           files +
           ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
           "        " +
           languages + ") COMPREPLY=($(compgen -W \"" + codes +
           "\" -- \"$cur\")); return ;;\n"
           "        " +
           none +
           ") return ;;\n"
           "    esac\n"
           "    local options\n"
           "    case $action in\n" +
           cases +
           "        *) return ;;\n"
           "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -F _scrpack scrpack\n";
}

}  // namespace scrpack
