// The list files (date.dat, date_f.dat), every list operation and the page
// render, on arbitrary file bytes with fuzzed arguments.
//
// Input: date.dat, "\n##\n", date_f.dat, "\n##\n", then one operation a
// line (a file part that is absent or "~" leaves that file missing):
//   h id<TAB>name<TAB>label<TAB>address<TAB>v<TAB>v1<TAB>position   add_history
//   H id<TAB>position                                   set_history_position
//   l name<TAB>path<TAB>position                        add_local_film
//   L path<TAB>position                                 set_local_position
//   d list<TAB>n      delete_list_line     c list   clear_list
//   k list            create_list          r list   render_list_page
// where list is 0 (date.dat), 1 (date_f.dat) or 2 (another file).
//
// Invariants:
// - at most 101 records after an add; the added record is the first line
//   and its fields read back (as the code page holds them; a "|" in a
//   name, label or address as its escape "%7C");
// - records the operation does not touch survive byte for byte, in order;
// - set_*_position rebuilds exactly the matching records; delete removes
//   exactly line n; clear leaves one empty line; a missing list stays
//   missing (create_list excepted);
// - an operation that changes the list renders its page.
#include <cstdint>
#include <string>
#include <vector>

#include "base/text.h"
#include "fuzz_support.h"
#include "lists/list_files.h"
#include "lists/list_pages.h"
#include "platform/posix/iconv_code_page.h"

namespace {

using tav::fuzz::MemoryFiles;
using tav::fuzz::raw_lines;
using tav::fuzz::violated;

constexpr const char* kFolder = "/app";
constexpr std::size_t kMaxOperations = 4;

struct PageCounter final : tav::ListPageView {
  void list_page_written(std::string_view) override { ++count; }
  int count = 0;
};

struct Checker {
  MemoryFiles& files;
  const tav::CodePage& cp;

  std::string path(std::string_view name) const { return std::string(kFolder) + "/" + std::string(name); }
  const std::string* bytes(std::string_view name) const {
    const auto it = files.files.find(path(name));
    return it == files.files.end() ? nullptr : &it->second;
  }
  // The lines of a list: raw bytes and as the program reads them.
  struct Lines {
    std::vector<std::string> raw, text;
  };
  Lines lines(std::string_view name) const {
    Lines l;
    if (const std::string* b = bytes(name)) {
      l.raw = raw_lines(*b);
      l.text = tav::split_lines(cp.to_utf8(*b));
      if (l.raw.size() != l.text.size()) violated("code page conversion keeps the lines", *b);
    }
    return l;
  }
  std::string held(std::string_view text) const { return cp.to_utf8(cp.from_utf8(text)); }
};

std::string one_line(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

// Names, labels and play addresses are read through urlUnescape: a "|" in
// them is written as its escape.
std::string name_field(std::string_view text) { return tav::replace_all(one_line(text), "|", "%7C"); }

// Field i of a record, without splitting all of it.
std::string_view field_of(std::string_view line, std::size_t i) {
  for (; i > 0; --i) {
    const std::size_t bar = line.find('|');
    if (bar == std::string_view::npos) return {};
    line.remove_prefix(bar + 1);
  }
  return line.substr(0, line.find('|'));
}

bool history_key(const std::string& line, std::int32_t id) {
  const auto n = tav::parse_int32(field_of(line, 0));
  return n && *n == id;
}

bool local_key(const std::string& line, const std::string& path) {
  return field_of(line, 1) == path;
}

bool is_record(const std::string& line) { return line.find('|') != std::string::npos; }

// After an add: the record on top, the kept records byte for byte, one
// empty line.
template <typename Matches>
void check_add(const Checker& ck, std::string_view list, const Checker::Lines& before,
               const std::vector<std::string>& fields, Matches matches) {
  const Checker::Lines after = ck.lines(list);
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < before.text.size() && i < tav::kListKeptLines; ++i)
    if (is_record(before.text[i]) && !matches(before.text[i])) kept.push_back(before.raw[i]);
  // The record, the kept records; with none kept, one empty line.
  if (after.raw.size() != kept.size() + 1 + kept.empty())
    violated("an add writes the record and the kept records", *ck.bytes(list));
  for (std::size_t i = 0; i < kept.size(); ++i)
    if (after.raw[i + 1] != kept[i]) violated("an untouched record survives byte for byte", after.raw[i + 1]);
  if (kept.empty() && !after.raw.back().empty())
    violated("an add to an empty list ends with an empty line", after.raw.back());
  std::size_t records = 0;
  for (const std::string& l : after.text) records += is_record(l);
  if (records > tav::kListKeptLines + 1) violated("at most 101 records after an add");
  // The new record's fields. A "|" in a local film's path (the key, kept
  // exactly as given) still splits the record: the file format has no
  // escape for it there.
  for (const std::string& f : fields)
    if (f.find('|') != std::string::npos) return;
  if (tav::split(after.text[0], "|").size() != fields.size())
    violated("an added record is not torn", after.text[0]);
  // The fields as the code page holds them where they stand (before a "|",
  // the last one before the line end).
  std::string expected;
  for (std::size_t i = 0; i < fields.size(); ++i) expected += (i ? "|" : "") + fields[i];
  expected = ck.held(expected + "\r");
  expected.pop_back();
  if (after.text[0] != expected)
    violated("an added record's fields read back", after.text[0] + " <> " + expected);
}

template <typename Matches, typename Rebuild>
void check_set_position(const Checker& ck, std::string_view list, const Checker::Lines& before,
                        Matches matches, Rebuild rebuild) {
  const Checker::Lines after = ck.lines(list);
  std::size_t at = 0;
  for (std::size_t i = 0; i < before.text.size(); ++i) {
    if (!is_record(before.text[i])) continue;
    if (at >= after.raw.size()) violated("set position keeps every record");
    if (matches(before.text[i])) {
      const std::string expected = rebuild(before.text[i]);
      if (expected.empty()) {
        if (after.raw[at] != before.raw[i]) violated("a short matching record stays", after.raw[at]);
      } else if (after.text[at] != ck.held(expected)) {
        violated("a matching record gets the new position", after.text[at] + " <> " + expected);
      }
    } else if (after.raw[at] != before.raw[i]) {
      violated("an untouched record survives byte for byte", after.raw[at]);
    }
    ++at;
  }
  // The records; with none, one empty line.
  if (after.raw.size() != at + (at == 0) || (at == 0 && !after.raw.back().empty()))
    violated("set position writes the records only", *ck.bytes(list));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const tav::IconvCodePage gbk;
  MemoryFiles files;
  files.folders.insert(kFolder);
  PageCounter pages;
  tav::ListFiles lists(files, gbk, kFolder, &pages);
  const Checker ck{files, gbk};

  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> parts = tav::fuzz::split_parts(in, "\n##\n");
  // "~" stands for a missing file.
  if (parts[0] != "~") files.files[ck.path(tav::kHistoryList)] = std::string(parts[0]);
  if (parts.size() > 1 && parts[1] != "~") files.files[ck.path(tav::kLocalList)] = std::string(parts[1]);
  if (parts.size() < 3) return 0;

  std::size_t done = 0;
  for (const std::string_view op_line : tav::fuzz::split_parts(parts[2], "\n")) {
    if (op_line.empty()) continue;
    if (++done > kMaxOperations) break;
    const char op = op_line[0];
    const std::vector<std::string> a = tav::split(op_line.substr(1), "\t");
    auto arg = [&](std::size_t i) { return tav::field(a, i); };
    auto num = [&](std::size_t i) { return tav::fuzz::fuzz_int32(arg(i)); };
    auto list_arg = [&](std::size_t i) -> std::string_view {
      switch ((static_cast<std::uint32_t>(num(i))) % 3) {
        case 0: return tav::kHistoryList;
        case 1: return tav::kLocalList;
        default: return "other.dat";
      }
    };
    const int pages_before = pages.count;

    switch (op) {
      case 'h': {
        const auto before = ck.lines(tav::kHistoryList);
        const bool existed = ck.bytes(tav::kHistoryList) != nullptr;
        const std::int32_t id = num(0), v = num(4), v1 = num(5), pos = num(6);
        lists.add_history(id, arg(1), arg(2), arg(3), v, v1, pos);
        if (!existed) {
          if (ck.bytes(tav::kHistoryList)) violated("a missing history stays missing");
          break;
        }
        check_add(ck, tav::kHistoryList, before,
                  {tav::to_text(id), name_field(arg(1)), name_field(arg(2)), name_field(arg(3)),
                   tav::to_text(v), tav::to_text(v1), tav::to_text(pos)},
                  [&](const std::string& line) { return history_key(line, id); });
        if (pages.count != pages_before + 1 || !ck.bytes(tav::kHistoryPage))
          violated("an add renders the page");
        break;
      }
      case 'l': {
        const auto before = ck.lines(tav::kLocalList);
        const bool existed = ck.bytes(tav::kLocalList) != nullptr;
        const std::string key = tav::stored_local_path(gbk, arg(1));
        const std::int32_t pos = num(2);
        lists.add_local_film(arg(0), arg(1), pos);
        if (!existed) {
          if (ck.bytes(tav::kLocalList)) violated("a missing list stays missing");
          break;
        }
        check_add(ck, tav::kLocalList, before, {name_field(arg(0)), key, tav::to_text(pos)},
                  [&](const std::string& line) { return local_key(line, key); });
        if (pages.count != pages_before + 1 || !ck.bytes(tav::kLocalPage))
          violated("an add renders the page");
        break;
      }
      case 'H': {
        const auto before = ck.lines(tav::kHistoryList);
        const bool existed = ck.bytes(tav::kHistoryList) != nullptr;
        const std::int32_t id = num(0), pos = num(1);
        lists.set_history_position(id, pos);
        if (!existed) {
          if (ck.bytes(tav::kHistoryList)) violated("a missing history stays missing");
          break;
        }
        check_set_position(
            ck, tav::kHistoryList, before,
            [&](const std::string& line) { return history_key(line, id); },
            [&](const std::string& line) -> std::string {
              const std::vector<std::string> f = tav::split(line, "|");
              if (f.size() < 6) return {};
              std::string out = tav::to_text(id);
              for (std::size_t i = 1; i <= 5; ++i) out += "|" + f[i];
              return out + "|" + tav::to_text(pos);
            });
        break;
      }
      case 'L': {
        const auto before = ck.lines(tav::kLocalList);
        const bool existed = ck.bytes(tav::kLocalList) != nullptr;
        const std::string key = tav::stored_local_path(gbk, arg(0));
        const std::int32_t pos = num(1);
        lists.set_local_position(arg(0), pos);
        if (!existed) {
          if (ck.bytes(tav::kLocalList)) violated("a missing list stays missing");
          break;
        }
        check_set_position(
            ck, tav::kLocalList, before, [&](const std::string& line) { return local_key(line, key); },
            [&](const std::string& line) -> std::string {
              const std::vector<std::string> f = tav::split(line, "|");
              if (f.size() < 2) return {};
              return f[0] + "|" + f[1] + "|" + tav::to_text(pos);
            });
        break;
      }
      case 'd': {
        const std::string_view list = list_arg(0);
        const std::int32_t n = num(1);
        const auto before = ck.lines(list);
        const bool existed = ck.bytes(list) != nullptr;
        lists.delete_list_line(list, n);
        if (!existed) {
          if (ck.bytes(list)) violated("a missing list stays missing");
          break;
        }
        std::vector<std::string> kept;
        for (std::size_t i = 0; i < before.raw.size(); ++i)
          if (static_cast<std::int64_t>(i) + 1 != n) kept.push_back(before.raw[i]);
        const auto after = ck.lines(list);
        bool ok;
        if (kept.empty()) {
          ok = after.raw == std::vector<std::string>{""};
        } else {
          ok = after.raw == kept;
          if (!ok && kept.back().empty()) {
            kept.pop_back();
            ok = after.raw == kept && !kept.empty();
            if (kept.empty()) ok = after.raw == std::vector<std::string>{""};
          }
        }
        if (!ok) violated("delete removes exactly line n", *ck.bytes(list));
        if (list != "other.dat" && pages.count != pages_before + 1) violated("a delete renders the page");
        break;
      }
      case 'c': {
        const std::string_view list = list_arg(0);
        const bool existed = ck.bytes(list) != nullptr;
        lists.clear_list(list);
        if (!existed) {
          if (ck.bytes(list)) violated("a missing list stays missing");
          break;
        }
        if (*ck.bytes(list) != "\r\n") violated("a cleared list is one empty line", *ck.bytes(list));
        if (list != "other.dat" && pages.count != pages_before + 1) violated("a clear renders the page");
        break;
      }
      case 'k': {
        const std::string_view list = list_arg(0);
        const std::string* old = ck.bytes(list);
        const std::string before = old ? *old : std::string();
        lists.create_list(list);
        if (!ck.bytes(list)) violated("create_list makes the list");
        if (old ? *ck.bytes(list) != before : *ck.bytes(list) != "\r\n")
          violated("create_list writes a missing list only", *ck.bytes(list));
        break;
      }
      case 'r': {
        const std::string_view list = list_arg(0);
        const std::string_view page =
            list == tav::kHistoryList ? tav::kHistoryPage : tav::kLocalPage;
        files.files.erase(ck.path(page));
        const bool existed = ck.bytes(list) != nullptr;
        lists.render_list_page(list);
        if (list == "other.dat" || !existed) {
          if (ck.bytes(page)) violated("no page for another or a missing list");
          break;
        }
        const std::string* written = ck.bytes(page);
        if (!written) violated("the page is rendered");
        if (!tav::ends_with(*written, "</html>\r\n\r\n")) violated("the page is whole", *written);
        std::size_t records = 0;
        for (const std::string& l : ck.lines(list).text) records += is_record(l);
        std::size_t rows = 0;
        for (std::size_t at = written->find("<tr><td align=left"); at != std::string::npos;
             at = written->find("<tr><td align=left", at + 1))
          ++rows;
        if (rows > records) violated("one row a record at most", *written);
        break;
      }
      default: break;
    }
  }
  return 0;
}
