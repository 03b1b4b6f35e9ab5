#include "print/printers.h"

#include <cctype>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "internal/text.h"
#include "window/session.h"

namespace w32::print {
namespace {

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return {};
    }
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text + " ") {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!word.empty()) {
                words.push_back(Lower(word));
            }
            word.clear();
        } else {
            word += c;
        }
    }
    return words;
}

bool Yes(const std::string& value) {
    std::string v = Lower(value);
    return v == "yes" || v == "true" || v == "1" || v == "on";
}

// Two positive numbers "a b"; false leaves the pair alone.
bool Pair(const std::string& value, int* a, int* b) {
    std::vector<std::string> words = Words(value);
    if (words.size() != 2) {
        return false;
    }
    int x = std::atoi(words[0].c_str());
    int y = std::atoi(words[1].c_str());
    if (x < 0 || y < 0 || x > 100000 || y > 100000) {
        return false;
    }
    *a = x;
    *b = y;
    return true;
}

DWORD Fields(const std::string& value) {
    DWORD fields = 0;
    for (const std::string& word : Words(value)) {
        if (word == "orientation") {
            fields |= DM_ORIENTATION;
        } else if (word == "paper-size") {
            fields |= DM_PAPERSIZE;
        } else if (word == "copies") {
            fields |= DM_COPIES;
        } else if (word == "print-quality") {
            fields |= DM_PRINTQUALITY;
        } else if (word == "y-resolution") {
            fields |= DM_YRESOLUTION;
        } else if (word.rfind("0x", 0) == 0) {
            fields |= static_cast<DWORD>(std::strtoul(word.c_str(), nullptr, 16));
        }
    }
    return fields;
}

void Apply(PrinterDescription& printer, const std::string& key, const std::string& value) {
    if (key == "name") {
        printer.name = w32::ToWide(CP_UTF8, value);
    } else if (key == "default") {
        printer.isDefault = Yes(value);
    } else if (key == "dpi") {
        int dpi = std::atoi(value.c_str());
        if (dpi > 0 && dpi <= 4800) {
            printer.dpi = dpi;
        }
    } else if (key == "printable") {
        Pair(value, &printer.horzRes, &printer.vertRes);
    } else if (key == "physical") {
        Pair(value, &printer.physicalWidth, &printer.physicalHeight);
    } else if (key == "offset") {
        Pair(value, &printer.offsetX, &printer.offsetY);
    } else if (key == "orientation") {
        printer.orientation = Lower(value) == "landscape" ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    } else if (key == "dm-fields") {
        printer.dmFields = Fields(value);
    } else if (key == "fail") {
        for (const std::string& word : Words(value)) {
            printer.failures.insert(word);
        }
    } else if (key == "fail-page") {
        printer.failPage = std::max(1, std::atoi(value.c_str()));
    }
}

PrinterDescription DefaultPrinter() {
    PrinterDescription printer;
    printer.name = u"Virtual A4";
    printer.isDefault = true;
    return printer;
}

}  // namespace

std::string SessionPath() {
    return w32::session::Directory();
}

PrinterSet ParsePrinters(const std::string& text) {
    PrinterSet set;
    std::istringstream lines(text);
    std::string line;
    enum { kNone, kDialog, kPrinter } section = kNone;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line == "[dialog]") {
            section = kDialog;
            continue;
        }
        if (line == "[printer]") {
            section = kPrinter;
            set.printers.emplace_back();
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::string key = Lower(Trim(line.substr(0, equals)));
        std::string value = Trim(line.substr(equals + 1));
        if (section == kDialog && key == "fail") {
            set.dialogFails = Yes(value);
        } else if (section == kPrinter) {
            Apply(set.printers.back(), key, value);
        }
    }
    // A printer without a name cannot be chosen.
    std::erase_if(set.printers, [](const PrinterDescription& p) { return p.name.empty(); });
    return set;
}

PrinterSet ReadPrinters() {
    std::string session = SessionPath();
    std::ifstream file(session.empty() ? std::string() : session + "/printers");
    if (!file) {
        PrinterSet set;
        set.printers.push_back(DefaultPrinter());
        return set;
    }
    std::stringstream text;
    text << file.rdbuf();
    return ParsePrinters(text.str());
}

std::optional<PrinterDescription> FindPrinter(const std::u16string& name) {
    PrinterSet set = ReadPrinters();
    for (const PrinterDescription& printer : set.printers) {
        if (name.empty() ? printer.isDefault : _wcsicmp(printer.name.c_str(), name.c_str()) == 0) {
            return printer;
        }
    }
    if (name.empty() && !set.printers.empty()) {
        return set.printers.front();  // none marked: the first one serves
    }
    return std::nullopt;
}

}  // namespace w32::print
