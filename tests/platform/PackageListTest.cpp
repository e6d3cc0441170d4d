// scripts/packages.txt is what a new machine installs (scripts/deps.sh). A test that imports a
// Python module or runs a program whose package is not covered by it passes on the machine where
// it was written and fails on the next one; these tests find such needs in the sources of the
// tests and benchmarks and look up the package of each.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support/TestSupport.h"

namespace kelvara::test {
namespace {

namespace fs = std::filesystem;

struct Needs {
    // Name → the first file that needs it.
    std::map<std::string, std::string> modules;
    std::map<std::string, std::string> programs;
};

// The contents of the string literals of C++ source (raw strings included, the common escapes
// decoded), one per line; comments and character literals are passed over.
std::string stringLiterals(const std::string& code) {
    std::string out;
    std::size_t i = 0;
    const std::size_t n = code.size();
    while (i < n) {
        if (code.compare(i, 2, "//") == 0) {
            i = code.find('\n', i);
            if (i == std::string::npos) break;
        } else if (code.compare(i, 2, "/*") == 0) {
            i = code.find("*/", i + 2);
            if (i == std::string::npos) break;
            i += 2;
        } else if (code[i] == 'R' && i + 1 < n && code[i + 1] == '"') {
            const std::size_t open = code.find('(', i + 2);
            if (open == std::string::npos) break;
            const std::string close = ")" + code.substr(i + 2, open - i - 2) + "\"";
            const std::size_t end = code.find(close, open + 1);
            if (end == std::string::npos) break;
            out += code.substr(open + 1, end - open - 1) + "\n";
            i = end + close.size();
        } else if (code[i] == '"' || code[i] == '\'') {
            const char quote = code[i++];
            std::string literal;
            for (; i < n && code[i] != quote; ++i) {
                if (code[i] == '\\' && i + 1 < n) {
                    const char escaped = code[++i];
                    literal += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
                } else {
                    literal += code[i];
                }
            }
            ++i;
            if (quote == '"') out += literal + "\n";
        } else {
            ++i;
        }
    }
    return out;
}

// Top-level modules of Python import statements, also inside a one-line "python3 -c '...'".
void pythonImports(const std::string& text, const std::string& file, Needs& needs) {
    static const std::regex importLine(
        R"re((?:^|[;'"])\s*import\s+([\w.]+(?:\s+as\s+\w+)?(?:\s*,\s*[\w.]+(?:\s+as\s+\w+)?)*))re");
    static const std::regex fromLine(R"re((?:^|[;'"])\s*from\s+(\w[\w.]*)\s+import\b)re");
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> names;
        for (std::sregex_iterator it(line.begin(), line.end(), importLine), end; it != end; ++it) {
            std::istringstream list((*it)[1].str());
            for (std::string name; std::getline(list, name, ',');) names.push_back(name);
        }
        for (std::sregex_iterator it(line.begin(), line.end(), fromLine), end; it != end; ++it)
            names.push_back((*it)[1].str());
        for (std::string name : names) {
            name.erase(0, name.find_first_not_of(" \t"));
            name = name.substr(0, name.find_first_of(". \t"));
            if (!name.empty()) needs.modules.emplace(name, file);
        }
    }
}

// Programs named as the first element of an argument list ({"ffprobe", ...} in C++,
// ["ffmpeg", ...] in Python).
void listedPrograms(const std::string& text, const std::string& file, Needs& needs) {
    static const std::regex first(R"re([\[{]\s*"(\w[\w.+-]*)")re");
    for (std::sregex_iterator it(text.begin(), text.end(), first), end; it != end; ++it)
        needs.programs.emplace((*it)[1].str(), file);
}

// Programs named by their absolute path ("/usr/bin/python3").
void absolutePrograms(const std::string& text, const std::string& file, Needs& needs) {
    static const std::regex absolute(R"((/usr(?:/local)?/s?bin/[\w.+-]+))");
    for (std::sregex_iterator it(text.begin(), text.end(), absolute), end; it != end; ++it)
        needs.programs.emplace((*it)[1].str(), file);
}

// The command words of a shell script: the first word of every simple command.
void shellCommands(const std::string& text, const std::string& file, Needs& needs) {
    static const std::regex separator(R"(\|\||&&|[|;(`]|\$\()");
    static const std::set<std::string> prefixes = {"then",  "do", "else", "elif", "if",     "while",
                                                   "until", "!",  "{",    "exec", "command"};
    static const std::set<std::string> notCommands = {"for",  "case", "select", "function", "in",
                                                      "done", "fi",   "esac",   "}"};
    static const std::regex quoted("'[^']*'");
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (const auto hash = line.find_first_not_of(" \t");
            hash != std::string::npos && line[hash] == '#')
            continue;
        line = std::regex_replace(line, quoted, "''");  // separators inside quotes separate nothing
        for (std::sregex_token_iterator it(line.begin(), line.end(), separator, -1), end; it != end;
             ++it) {
            std::istringstream words(it->str());
            for (std::string word; words >> word;) {
                if (word.find('=') != std::string::npos && word.front() != '-')
                    continue;  // NAME=value
                if (prefixes.count(word)) continue;
                if (notCommands.count(word)) break;
                if (std::regex_match(word, std::regex(R"([\w][\w.+-]*)")))
                    needs.programs.emplace(word, file);
                break;
            }
        }
    }
}

Needs scanSources(const std::vector<fs::path>& roots, const fs::path& base) {
    Needs needs;
    for (const fs::path& root : roots) {
        for (auto it = fs::recursive_directory_iterator(root);
             it != fs::recursive_directory_iterator(); ++it) {
            if (it->is_directory() && it->path().filename() == "fixtures") {
                it.disable_recursion_pending();  // sample libraries, not code
                continue;
            }
            if (!it->is_regular_file()) continue;
            const std::string extension = it->path().extension().string();
            const std::string text = readFile(it->path());
            const std::string name = fs::relative(it->path(), base).string();
            if (extension == ".cpp" || extension == ".h") {
                const std::string literals = stringLiterals(text);
                pythonImports(literals, name, needs);
                listedPrograms(text, name, needs);
                absolutePrograms(literals, name, needs);
            } else if (extension == ".py" || extension == ".sh") {
                pythonImports(text, name, needs);
                listedPrograms(text, name, needs);
                absolutePrograms(text, name, needs);
                if (extension == ".sh") shellCommands(text, name, needs);
            }
        }
    }
    return needs;
}

// The packages of scripts/packages.txt, read as scripts/deps.sh reads them.
std::set<std::string> listedPackages(const fs::path& list) {
    std::set<std::string> packages;
    std::istringstream lines(readFile(list));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        for (std::string word; words >> word;) packages.insert(word);
    }
    return packages;
}

// What installing `listed` brings: the packages and everything they depend on, as installed here,
// together with the packages every Debian system has (essential and required ones).
std::set<std::string> coveredPackages(const std::set<std::string>& listed) {
    const CommandResult query = runCommand(
        {"dpkg-query", "-W",
         "-f=${Package}\t${Essential}\t${Priority}\t${Provides}\t${Depends}, ${Pre-Depends}\n"});
    std::map<std::string, std::vector<std::string>> depends;
    std::map<std::string, std::vector<std::string>> providers;
    std::set<std::string> covered;
    const auto names = [](const std::string& field) {
        std::vector<std::string> out;
        static const std::regex name(R"((?:^|[,|])\s*([a-z0-9][a-z0-9+.-]*))");
        for (std::sregex_iterator it(field.begin(), field.end(), name), end; it != end; ++it)
            out.push_back((*it)[1].str());
        return out;
    };
    std::istringstream lines(query.out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
        if (fields.size() < 5) continue;
        if (fields[1] == "yes" || fields[2] == "required") covered.insert(fields[0]);
        for (const std::string& virtualName : names(fields[3]))
            providers[virtualName].push_back(fields[0]);
        depends[fields[0]] = names(fields[4]);
    }
    std::vector<std::string> queue(listed.begin(), listed.end());
    std::set<std::string> seen;
    while (!queue.empty()) {
        const std::string package = queue.back();
        queue.pop_back();
        if (!seen.insert(package).second) continue;
        covered.insert(package);
        for (const std::string& dependency : depends[package]) queue.push_back(dependency);
        for (const std::string& provider : providers[package]) queue.push_back(provider);
    }
    return covered;
}

// The paths under which dpkg may know `file`: as given, resolved, and the other half of the
// merged /usr (dpkg may know /bin/x for /usr/bin/x).
std::vector<std::string> dpkgPaths(const fs::path& file) {
    std::vector<std::string> paths = {file.string()};
    std::error_code ec;
    const fs::path real = fs::canonical(file, ec);
    if (!ec && real != file) paths.push_back(real.string());
    for (std::size_t i = 0, count = paths.size(); i < count; ++i)
        paths.push_back(paths[i].starts_with("/usr/") ? paths[i].substr(4) : "/usr" + paths[i]);
    return paths;
}

// Path → the package that owns it, for every path dpkg knows; one query for all.
std::map<std::string, std::string> owningPackages(const std::vector<std::string>& paths) {
    std::vector<std::string> argv = {"dpkg-query", "-S"};
    argv.insert(argv.end(), paths.begin(), paths.end());
    std::map<std::string, std::string> owners;
    std::istringstream lines(runCommand(argv).out);
    for (std::string line; std::getline(lines, line);) {
        const auto colon = line.find(": ");
        if (colon == std::string::npos || line.starts_with("diversion by")) continue;
        std::string package = line.substr(0, std::min(line.find(','), colon));
        owners.emplace(line.substr(colon + 2), package.substr(0, package.find(':')));
    }
    return owners;
}

std::optional<fs::path> findProgram(const std::string& name) {
    if (name.starts_with("/"))
        return fs::exists(name) ? std::optional<fs::path>(name) : std::nullopt;
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const fs::path candidate = fs::path(folder) / name;
        if (fs::is_regular_file(candidate) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

// Module → the file it loads from, "" for one built into the interpreter; modules that cannot be
// found are left out.
std::map<std::string, std::string> moduleFiles(const std::map<std::string, std::string>& modules) {
    std::vector<std::string> args;
    for (const auto& [name, file] : modules) args.push_back(name);
    const CommandResult result = runPython(R"PY(
import importlib.util, sys
for name in sys.argv[1:]:
    try:
        found = importlib.util.find_spec(name)
    except Exception:
        found = None
    if found is None:
        continue
    origin = found.origin
    if origin in (None, "built-in", "frozen") and found.submodule_search_locations:
        origin = list(found.submodule_search_locations)[0]
    print(name + "\t" + (origin if origin not in (None, "built-in", "frozen") else ""))
)PY",
                                           args);
    std::map<std::string, std::string> files;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);)
        if (const auto tab = line.find('\t'); tab != std::string::npos)
            files[line.substr(0, tab)] = line.substr(tab + 1);
    return files;
}

// One line for each need that the list does not cover; empty when everything is covered.
std::vector<std::string> uncoveredNeeds(const Needs& needs, const fs::path& list) {
    std::vector<std::string> problems;
    struct Installed {
        std::string what, where;
        fs::path file;
    };
    std::vector<Installed> installed;
    for (const auto& [name, where] : needs.programs)
        if (const auto path = findProgram(name))
            installed.push_back({"program " + name, where, *path});
        else if (name.starts_with("/"))
            problems.push_back("program " + name + " (" + where + ") is not installed");
    const auto files = moduleFiles(needs.modules);
    for (const auto& [name, where] : needs.modules) {
        const auto found = files.find(name);
        if (found == files.end())
            problems.push_back("Python module " + name + " (" + where +
                               ") is not installed: install its Debian package and list it");
        else if (!found->second.empty())  // empty: built into the interpreter
            installed.push_back({"Python module " + name, where, found->second});
    }

    std::vector<std::string> paths;
    for (const Installed& need : installed)
        for (const std::string& path : dpkgPaths(need.file)) paths.push_back(path);
    const auto owners = owningPackages(paths);
    const std::set<std::string> covered = coveredPackages(listedPackages(list));
    for (const Installed& need : installed) {
        std::optional<std::string> package;
        for (const std::string& path : dpkgPaths(need.file))
            if (const auto owner = owners.find(path); !package && owner != owners.end())
                package = owner->second;
        if (!package)
            problems.push_back(need.what + " (" + need.where + "): no Debian package owns " +
                               need.file.string());
        else if (!covered.count(*package))
            problems.push_back(need.what + " (" + need.where + ") comes from the package " +
                               *package + ", which " + list.filename().string() + " does not list");
    }
    return problems;
}

TEST(PackageList, FindsImportsAndProgramsWhereverTestsAndBenchmarksNameThem) {
    TempDir dir;
    writeFile(dir / "a" / "Test.cpp", R"CPP(
        // import commented
        const auto made = runCommand({"ffprobe", "-v"});
        const char* code = R"PY(
import sys, json as j, xlrd
from mutagen.mp3 import MP3
subprocess.run(["ffmpeg", "-i"])
)PY";
        const char* inline_ =
            "import csv, olefile\n"
            "x = 1\n";
        std::vector<std::string> columns = {"title", "artist"};
    )CPP");
    // Split so that the scan of this very file does not take it for an import.
    writeFile(dir / "a" / "fixtures" / "Skipped.cpp", std::string("\"im") + "port nothere\\n\"");
    writeFile(dir / "b" / "run.sh",
              "set -eu\n"
              "out=$(mktemp -d)\n"
              "for type in csv xlsx; do\n"
              "    FOO=1 cmake --build \"$build\" | tee log\n"
              "done\n"
              "measure /usr/bin/python3 -c 'import plistlib, sys; plistlib.load(0)' x\n");
    const Needs needs = scanSources({dir / "a", dir / "b"}, dir.path());
    std::set<std::string> modules, programs;
    for (const auto& [name, file] : needs.modules) modules.insert(name);
    for (const auto& [name, file] : needs.programs) programs.insert(name);
    EXPECT_EQ(modules, (std::set<std::string>{"csv", "json", "mutagen", "olefile", "plistlib",
                                              "sys", "xlrd"}));
    EXPECT_EQ(programs, (std::set<std::string>{"/usr/bin/python3", "cmake", "ffmpeg", "ffprobe",
                                               "measure", "mktemp", "set", "tee", "title"}));
    EXPECT_EQ(needs.modules.at("olefile"), "a/Test.cpp");
}

TEST(PackageList, CoversEveryModuleAndProgramTheTestsAndBenchmarksUse) {
    const fs::path source = KELVARA_SOURCE_DIR;
    const Needs needs = scanSources({source / "tests", source / "bench"}, source);
    // The scan must see what is known to be there, or it proves nothing.
    for (const char* program : {"ffmpeg", "ffprobe", "/usr/bin/python3", "/usr/bin/time"})
        EXPECT_TRUE(needs.programs.count(program)) << program;
    for (const char* module : {"mutagen", "openpyxl", "xlrd", "olefile"})
        EXPECT_TRUE(needs.modules.count(module)) << module;

    std::string report;
    for (const std::string& problem : uncoveredNeeds(needs, source / "scripts" / "packages.txt"))
        report += "  " + problem + "\n";
    EXPECT_TRUE(report.empty()) << "scripts/packages.txt misses what the tests need:\n" << report;
}

}  // namespace
}  // namespace kelvara::test
