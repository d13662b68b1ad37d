// Build-time page compiler: reads the list of web files and their templates
// and writes the C++ source of the compiled page records and the web file
// table.
//
//   webc --manifest FILE --pages DIR --table NAME --out FILE [--count N]
//
// Templates are HTML with markers for page tags and loops:
//   <!--#tag SYMBOL [ARG...]-->   <!--#loop SYMBOL [ARG...]-->   <!--#endloop-->
// An ARG is a number (0 to 65535) or $N, the index of the enclosing loop at
// level N (0 is the outermost).
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <strings.h>
#include <string>
#include <vector>

namespace {

constexpr size_t kTextMax = 65535;  // a text record's length is 16 bits
constexpr int kBodyMax = 255;       // a loop's body count is 8 bits
constexpr int kDepthMax = 3;

constexpr int kText = 0;
constexpr int kLoop = 1;
constexpr int kTag = 2;
constexpr int kLast = 0x80;
constexpr int kLevelBits[3] = {0x10, 0x20, 0x40};

struct Record {
    int kind = kText;
    int body = 0;
    uint16_t arg[3] = {0, 0, 0};
    std::string text;    // text records
    std::string symbol;  // tag or loop function; empty for a loop end
};

using Page = std::vector<Record>;

struct Row {
    std::string name;
    uint32_t flags = 0;
    std::string handler;
    std::string content;
    std::string where;  // manifest line, for messages
    int page = -1;
};

class CompileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string &where, const std::string &message) {
    throw CompileError(where + ": " + message);
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CompileError(path + ": cannot be read");
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

bool is_identifier(const std::string &s) {
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

std::vector<std::string> split_words(const std::string &text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

std::string extension(const std::string &name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) return "";
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

void add_text(Page &page, const std::string &text) {
    for (size_t pos = 0; pos < text.size(); pos += kTextMax) {
        Record rec;
        rec.text = text.substr(pos, kTextMax);
        page.push_back(rec);
    }
}

void finish_page(Page &page) {
    if (page.empty()) page.push_back(Record{});
    page.back().kind |= kLast;
}

// Parses the arguments of a marker (the words after its directive and
// symbol); depth is the number of loops open around it.
void parse_args(Record &rec, const std::vector<std::string> &words, size_t depth,
                const std::string &where) {
    if (words.size() > 5) fail(where, "at most 3 arguments");
    for (size_t i = 2; i < words.size(); i++) {
        const std::string &w = words[i];
        bool level = w[0] == '$';
        std::string digits = level ? w.substr(1) : w;
        unsigned long value = 0;
        size_t used = 0;
        try {
            value = std::stoul(digits, &used, 0);
        } catch (const std::exception &) {
            used = 0;
        }
        if (digits.empty() || used != digits.size() || value > 0xffff) {
            fail(where, "bad argument \"" + w + "\"");
        }
        if (level) {
            if (value >= depth) fail(where, "argument " + w + " names no enclosing loop");
            rec.kind |= kLevelBits[i - 2];
        }
        rec.arg[i - 2] = static_cast<uint16_t>(value);
    }
}

Page compile_template(const std::string &src, const std::string &file) {
    Page page;
    std::vector<size_t> loops;  // indices of the open loop starts
    size_t pos = 0;
    auto where_at = [&](size_t offset) {
        return file + ":" + std::to_string(1 + std::count(src.begin(), src.begin() + offset, '\n'));
    };
    while (pos < src.size()) {
        size_t mark = src.find("<!--#", pos);
        add_text(page, src.substr(pos, mark == std::string::npos ? std::string::npos : mark - pos));
        if (mark == std::string::npos) break;
        std::string where = where_at(mark);
        size_t end = src.find("-->", mark);
        if (end == std::string::npos) fail(where, "marker without \"-->\"");
        std::vector<std::string> words = split_words(src.substr(mark + 5, end - mark - 5));
        pos = end + 3;
        if (words.empty()) fail(where, "empty marker");
        Record rec;
        if (words[0] == "tag" || words[0] == "loop") {
            if (words.size() < 2 || !is_identifier(words[1])) fail(where, "marker needs a symbol");
            rec.kind = words[0] == "tag" ? kTag : kLoop;
            rec.symbol = words[1];
            parse_args(rec, words, loops.size(), where);
            if (rec.kind == kLoop) {
                if (loops.size() >= kDepthMax) fail(where, "more than 3 nested loops");
                loops.push_back(page.size());
            }
            page.push_back(rec);
        } else if (words[0] == "endloop") {
            if (words.size() != 1) fail(where, "endloop takes no arguments");
            if (loops.empty()) fail(where, "endloop without loop");
            size_t start = loops.back();
            loops.pop_back();
            size_t body = page.size() - start;
            if (body > kBodyMax) fail(where, "loop body of more than 255 records");
            page[start].body = static_cast<int>(body);
            rec.kind = kLoop;
            rec.body = static_cast<int>(body);
            page.push_back(rec);
        } else {
            fail(where, "unknown marker \"" + words[0] + "\"");
        }
    }
    if (!loops.empty()) fail(where_at(src.size()), "loop without endloop");
    finish_page(page);
    return page;
}

Page raw_page(const std::string &data, const std::string &file) {
    if (data.size() > kTextMax) fail(file, "larger than 65535 bytes");
    Page page;
    Record rec;
    rec.text = data;
    page.push_back(rec);
    finish_page(page);
    return page;
}

Page placeholder_page(const std::string &name) {
    std::string ext = extension(name);
    if (ext == "gif" || ext == "jpg" || ext == "png") {
        // A transparent 1x1 image; browsers read the format from the bytes.
        static const unsigned char pixel[] = {
            0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0x00,
            0x00, 0x00, 0xff, 0xff, 0xff, 0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2c,
            0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x01, 0x44, 0x00, 0x3b};
        return raw_page(std::string(reinterpret_cast<const char *>(pixel), sizeof(pixel)), name);
    }
    if (ext == "css" || ext == "js") {
        return raw_page("/* " + name + ": not built yet */\n", name);
    }
    std::string title = name.empty() ? "Default page" : name;
    return raw_page("<html><head><title>" + title + "</title></head>\n<body><h3>" + title +
                        "</h3>\n<p>This page is not built yet.</p></body></html>\n",
                    name);
}

std::vector<Row> read_manifest(const std::string &path) {
    std::istringstream in(read_file(path));
    std::vector<Row> rows;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        number++;
        std::string where = path + ":" + std::to_string(number);
        std::vector<std::string> words = split_words(line);
        if (words.empty() || words[0][0] == '#') continue;
        if (words.size() != 4) fail(where, "expected: name flags handler content");
        Row row;
        row.where = where;
        row.name = words[0] == "\"\"" ? "" : words[0];
        if (row.name.find_first_of("\"\\/") != std::string::npos) fail(where, "bad file name");
        size_t used = 0;
        try {
            row.flags = static_cast<uint32_t>(std::stoul(words[1], &used, 0));
        } catch (const std::exception &) {
            used = 0;
        }
        if (used == 0 || used != words[1].size()) fail(where, "bad flags \"" + words[1] + "\"");
        row.handler = words[2];
        if (row.handler != "-" && row.handler != "pending" && !is_identifier(row.handler)) {
            fail(where, "bad handler \"" + row.handler + "\"");
        }
        row.content = words[3];
        if (!rows.empty()) {
            if (rows.back().name >= row.name) fail(where, "rows must be in byte order of names");
        }
        for (const Row &other : rows) {
            if (strcasecmp(other.name.c_str(), row.name.c_str()) == 0) {
                fail(where, "\"" + row.name + "\" hides behind \"" + other.name + "\"");
            }
        }
        rows.push_back(row);
    }
    return rows;
}

std::string literal(const std::string &data) {
    std::string out = "\"";
    size_t line_start = 0;
    for (size_t i = 0; i < data.size(); i++) {
        auto c = static_cast<unsigned char>(data[i]);
        bool more = i + 1 < data.size();
        if (more && out.size() - line_start > 96) {
            out += "\"\n    \"";
            line_start = out.size();
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
            if (more && out.size() - line_start > 40) {
                out += "\"\n    \"";
                line_start = out.size();
            }
        } else if (c >= 0x20 && c < 0x7f && c != '?') {
            out += static_cast<char>(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof(esc), "\\%03o", c);
            out += esc;
        }
    }
    return out + "\"";
}

struct Options {
    std::string manifest, pages, table, out;
    int count = -1;
};

Options parse_options(int argc, char **argv) {
    Options opt;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i];
        std::string value = argv[i + 1];
        if (key == "--manifest")
            opt.manifest = value;
        else if (key == "--pages")
            opt.pages = value;
        else if (key == "--table")
            opt.table = value;
        else if (key == "--out")
            opt.out = value;
        else if (key == "--count")
            opt.count = std::stoi(value);
        else
            throw CompileError("unknown option " + key);
    }
    if (argc % 2 == 0 || opt.manifest.empty() || opt.pages.empty() || opt.table.empty() ||
        opt.out.empty()) {
        throw CompileError(
            "usage: webc --manifest FILE --pages DIR --table NAME --out FILE [--count N]");
    }
    return opt;
}

class Generator {
  public:
    explicit Generator(const Options &opt) : opt_(opt) {}

    void run() {
        rows_ = read_manifest(opt_.manifest);
        if (opt_.count >= 0 && static_cast<int>(rows_.size()) != opt_.count) {
            throw CompileError(opt_.manifest + ": " + std::to_string(rows_.size()) +
                               " rows, expected " + std::to_string(opt_.count));
        }
        for (Row &row : rows_) {
            if (row.content[0] != '@') row.page = page_of(row);
        }
        for (Row &row : rows_) {
            if (row.content[0] == '@') row.page = referenced_page(row);
        }
        // A placeholder must not outlive the real page in a browser cache.
        for (Row &row : rows_) {
            if (row.handler == "-" && placeholder_pages_.count(row.page) != 0) {
                row.flags = (row.flags | 0x1) & ~0x2u;
            }
        }
        write();
    }

  private:
    int page_of(const Row &row) {
        if (row.content == "placeholder") {
            int page = add_page(placeholder_page(row.name));
            placeholder_pages_.insert(page);
            return page;
        }
        auto known = file_pages_.find(row.content);
        if (known != file_pages_.end()) return known->second;
        std::string path = opt_.pages + "/" + row.content;
        std::string data = read_file(path);
        std::string ext = extension(row.content);
        int page = add_page(ext == "htm" || ext == "html" ? compile_template(data, path)
                                                          : raw_page(data, path));
        file_pages_[row.content] = page;
        return page;
    }

    // Rows with the same single-record content share it.
    int add_page(Page page) {
        if (page.size() == 1 && page[0].kind == (kText | kLast)) {
            auto known = single_pages_.find(page[0].text);
            if (known != single_pages_.end()) return known->second;
            single_pages_[page[0].text] = static_cast<int>(pages_.size());
        }
        pages_.push_back(std::move(page));
        return static_cast<int>(pages_.size()) - 1;
    }

    int referenced_page(const Row &row) {
        std::string target = row.content.substr(1);
        if (target == "\"\"") target.clear();
        for (const Row &other : rows_) {
            if (other.name == target && other.content[0] != '@') return other.page;
        }
        fail(row.where, "\"" + row.content + "\" names no row with content of its own");
    }

    void write() {
        std::ostringstream out;
        out << "// Generated by webc from " << opt_.manifest << "; do not edit.\n"
            << "#include \"httpd.h\"\n\n";
        declare_symbols(out);
        out << "namespace {\n\n";
        for (size_t p = 0; p < pages_.size(); p++)
            write_page(out, p);
        out << "}  // namespace\n\n";
        out << "extern const httpd_file " << opt_.table << "[" << rows_.size() + 1 << "];\n";
        out << "const httpd_file " << opt_.table << "[" << rows_.size() + 1 << "] = {\n";
        for (const Row &row : rows_) {
            std::string handler = row.handler == "-"         ? "nullptr"
                                  : row.handler == "pending" ? "httpd_pending_handler"
                                                             : row.handler;
            char flags[16];
            std::snprintf(flags, sizeof(flags), "0x%x", row.flags);
            out << "    {" << literal(row.name) << ", " << handler << ", page_" << row.page << ", "
                << flags << "},\n";
        }
        out << "    {nullptr, nullptr, nullptr, 0},\n};\n";
        std::string text = out.str();
        std::ofstream file(opt_.out, std::ios::binary);
        file << text;
        if (!file.flush()) throw CompileError(opt_.out + ": cannot be written");
    }

    void declare_symbols(std::ostringstream &out) const {
        std::set<std::string> tags, loops, handlers;
        for (const Page &page : pages_) {
            for (const Record &rec : page) {
                if ((rec.kind & 3) == kTag) tags.insert(rec.symbol);
                if ((rec.kind & 3) == kLoop && !rec.symbol.empty()) loops.insert(rec.symbol);
            }
        }
        for (const Row &row : rows_) {
            if (row.handler != "-" && row.handler != "pending") handlers.insert(row.handler);
        }
        for (const auto &s : handlers)
            out << "int " << s << "(httpd_event *, httpd_request *);\n";
        for (const auto &s : tags) {
            out << "void " << s << "(const uint16_t[3], httpd_tag_out *, httpd_request *);\n";
        }
        for (const auto &s : loops) {
            out << "int " << s << "(const uint16_t[3], int, httpd_request *);\n";
        }
        out << "\n";
    }

    void write_page(std::ostringstream &out, size_t p) const {
        const Page &page = pages_[p];
        for (size_t r = 0; r < page.size(); r++) {
            if ((page[r].kind & 3) == kText) {
                out << "const char text_" << p << "_" << r << "[] = " << literal(page[r].text)
                    << ";\n";
            }
        }
        out << "const httpd_record page_" << p << "[] = {\n";
        for (size_t r = 0; r < page.size(); r++) {
            const Record &rec = page[r];
            char head[64];
            std::snprintf(
                head, sizeof(head), "    {0x%02x, %d, {%u, %u, %u}, ", rec.kind, rec.body,
                (rec.kind & 3) == kText ? static_cast<unsigned>(rec.text.size()) : rec.arg[0],
                rec.arg[1], rec.arg[2]);
            out << head;
            switch (rec.kind & 3) {
                case kText:
                    out << "{.text = text_" << p << "_" << r << "}},\n";
                    break;
                case kTag:
                    out << "{.tag = " << rec.symbol << "}},\n";
                    break;
                default:
                    out << "{.loop = " << (rec.symbol.empty() ? "nullptr" : rec.symbol) << "}},\n";
            }
        }
        out << "};\n\n";
    }

    const Options &opt_;
    std::vector<Row> rows_;
    std::vector<Page> pages_;
    std::map<std::string, int> file_pages_;
    std::map<std::string, int> single_pages_;
    std::set<int> placeholder_pages_;  // pages that stand for a page not built yet
};

}  // namespace

int main(int argc, char **argv) {
    try {
        Options opt = parse_options(argc, argv);
        Generator(opt).run();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "webc: %s\n", e.what());
        return 1;
    }
    return 0;
}
