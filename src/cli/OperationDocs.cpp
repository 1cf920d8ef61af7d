#include "cli/OperationDocs.h"

#include <cstdio>
#include <map>
#include <sstream>
#include <vector>

#include "QuillData/Config.h"
#include "QuillData/contract/Text.h"
#if QUILLDATA_WITH_MSSQL
#include "QuillData/mssql/ServerLimits.h"
#endif

namespace QuillData::cli {
namespace {

// One operation's line in Operations.inc, with the comment right above it.
struct Entry {
  std::string comment;
  bool tableReader = false;
  std::vector<std::string> readerArgs;  // Name, Record, Table, Key, Unread (text unquoted)
  size_t section = 0;
};

// A family's opening comment: "4-16: deletes. Each ...".
struct Section {
  std::string slots;  // "4-16"
  std::string title;  // "Deletes"
  std::string text;   // the rest of the comment
};

struct Source {
  std::map<std::string, Entry> entries;
  std::vector<Section> sections;
};

std::string Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

// The macro's arguments at the top level, string literals unquoted (L"a,b" is a,b).
std::vector<std::string> MacroArguments(const std::string& call) {
  std::vector<std::string> args;
  std::string current;
  int depth = 0;
  bool quoted = false;
  for (size_t i = call.find('(') + 1; i < call.size(); ++i) {
    const char c = call[i];
    if (quoted) {
      if (c == '"')
        quoted = false;
      else
        current += c;
      continue;
    }
    if (c == '"') {
      quoted = true;
      if (!current.empty() && current.back() == 'L') current.pop_back();
    } else if (c == '(') {
      ++depth;
      current += c;
    } else if (c == ')' && depth == 0) {
      args.push_back(Trim(current));
      break;
    } else if (c == ')') {
      --depth;
      current += c;
    } else if (c == ',' && depth == 0) {
      args.push_back(Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  return args;
}

const Source& Parsed() {
  static const Source source = [] {
    Source out;
    std::istringstream in{std::string(OperationsSource())};
    std::vector<std::string> comment;
    auto joined = [](const std::vector<std::string>& lines, size_t from) {
      std::string text;
      for (size_t i = from; i < lines.size(); ++i) text += lines[i] + '\n';
      return text;
    };
    for (std::string line; std::getline(in, line);) {
      const std::string trimmed = Trim(line);
      if (trimmed.starts_with("//")) {
        comment.push_back(trimmed.size() > 3 ? trimmed.substr(3) : std::string());
        continue;
      }
      const bool reader = trimmed.starts_with("QUILLDATA_TABLE_READER(");
      if (reader || trimmed.starts_with("QUILLDATA_OPERATION(")) {
        std::string call = trimmed;
        while (std::count(call.begin(), call.end(), '(') >
                   std::count(call.begin(), call.end(), ')') &&
               std::getline(in, line))
          call += ' ' + Trim(line);
        const std::vector<std::string> args = MacroArguments(call);
        Entry entry{joined(comment, 0), reader, reader ? args : std::vector<std::string>{},
                    out.sections.empty() ? 0 : out.sections.size() - 1};
        out.entries[reader ? args.at(0) : args.at(1)] = std::move(entry);
      } else if (trimmed.empty() && !comment.empty()) {
        // "4-16: deletes. Each ..." opens a family.
        const std::string& first = comment.front();
        const size_t colon = first.find(": ");
        const size_t dash = first.find('-');
        if (colon != std::string::npos && dash < colon &&
            first.find_first_not_of("0123456789-") == colon) {
          const size_t stop = first.find('.', colon);
          Section section{first.substr(0, colon), first.substr(colon + 2, stop - colon - 2), ""};
          section.title[0] = static_cast<char>(std::toupper(section.title[0]));
          std::vector<std::string> rest = comment;
          rest.front() = stop == std::string::npos ? std::string() : Trim(first.substr(stop + 1));
          section.text = joined(rest, rest.front().empty() ? 1 : 0);
          out.sections.push_back(std::move(section));
        }
      }
      comment.clear();
    }
    return out;
  }();
  return source;
}

const Entry* EntryOf(const OperationEntry& op) {
  const auto& entries = Parsed().entries;
  auto found = entries.find(op.NameUtf8());
  return found == entries.end() ? nullptr : &found->second;
}

// "Reads the table Machining into tblMachining records, keyed by MachID."
std::string ReaderLine(const Entry& e) {
  std::string text = "Reads the table " + e.readerArgs.at(2) + " into " + e.readerArgs.at(1) +
                     " records, keyed by " + e.readerArgs.at(3) + ".";
  if (!e.readerArgs.at(4).empty())
    text += " The server backend leaves " + e.readerArgs.at(4) + " as a new record has it.";
  return text + '\n';
}

struct LimitRow {
  std::string argument;
  std::string parameter;
  std::string limit;
};

#if QUILLDATA_WITH_MSSQL
std::string LimitText(const ServerLimit& l) {
  using K = ServerLimit::Kind;
  switch (l.kind) {
    case K::Length:
      return l.length == 1 ? "at most 1 character"
                           : "at most " + std::to_string(l.length) + " characters";
    case K::CutToLength:
      return "cut to its first " + std::to_string(l.length) + " characters";
    case K::Decimal: {
      std::string largest(static_cast<size_t>(l.precision - l.scale), '9');
      if (l.scale > 0) largest += "." + std::string(l.scale, '9');
      return "from -" + largest + " to " + largest + ", rounded to " + std::to_string(l.scale) +
             " decimals (numeric(" + std::to_string(l.precision) + "," + std::to_string(l.scale) +
             "))";
    }
    case K::WholeNumber:
      return "rounded to a whole number (half to even)";
    case K::WholeText:
      return "a whole number written as text";
  }
  return {};
}
#endif

std::vector<LimitRow> LimitsOf(const OperationEntry& op) {
  std::vector<LimitRow> rows;
#if QUILLDATA_WITH_MSSQL
  for (const ServerLimit& l : ServerLimits()) {
    if (l.operation != op.Name()) continue;
    const auto arg = static_cast<size_t>(l.argument);
    rows.push_back(
        {arg < op.Args().size() ? op.Args()[arg].name : "?", ToUtf8(l.parameter), LimitText(l)});
  }
#else
  (void)op;
#endif
  return rows;
}

// Text for Markdown: "<" would open an HTML tag ("ItemAs<tblMachining>").
std::string Prose(std::string text) {
  for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 2))
    text.insert(at, "\\");
  return text;
}

// A table cell: "|" would end it, even inside code.
std::string Cell(std::string text) {
  for (size_t at = text.find('|'); at != std::string::npos; at = text.find('|', at + 2))
    text.insert(at, "\\");
  return text;
}

}  // namespace

std::string OperationComment(const OperationEntry& op) {
  const Entry* e = EntryOf(op);
  return e ? e->comment : std::string();
}

std::string OperationDoc(const OperationEntry& op) {
  std::string text = op.Signature() + "\n\n";
  const Entry* e = EntryOf(op);
  if (e && e->tableReader) text += ReaderLine(*e);
  if (e) text += e->comment;
  if (e && op.Result() == ResultType::Collection && e->section < Parsed().sections.size())
    text += "\nReaders in general:\n" + Parsed().sections[e->section].text;
  const auto limits = LimitsOf(op);
  if (!limits.empty()) {
    text += "\nOn the server:\n";
    for (const LimitRow& l : limits)
      text += "  " + l.argument + " (" + l.parameter + "): " + l.limit + "\n";
  }
  return text;
}

std::string OperationsMarkdown() {
  std::string md =
      "# The operations\n\n"
      "<!-- Made by `quilldata operations --markdown` from the comments in\n"
      "     include/QuillData/contract/Operations.inc: edit those, not this file. -->\n\n"
      "Every operation of `clsQuillData`, in the interface's order, as both backends do it.\n"
      "`quilldata operations --doc NAME` prints one of them, and `quilldata call` runs it.\n\n"
      "Common to all of them: every argument is passed by reference and none is written but\n"
      "`lngRecordsAffected`, which only the readers set. A failure (a lock held past the\n"
      "busy timeout, a lost connection, a refused value) goes to the error companion, and the\n"
      "operation returns what its result held: 0, nothing, or the rows read before it. Text\n"
      "that holds a NUL or a code unit that is no character (a lone surrogate) is refused on\n"
      "every backend. The server's stored procedures declare sizes and scales that the\n"
      "embedded backend does not have: the last table lists them.\n";
  const Source& source = Parsed();
  const auto ops = Operations();
  size_t section = static_cast<size_t>(-1);
  bool readerTable = false;
  for (const OperationEntry& op : ops) {
    const Entry* e = EntryOf(op);
    if (!e) continue;
    if (e->section != section) {
      section = e->section;
      const Section& s = source.sections.at(section);
      md += "\n## " + s.title + " (slots " + s.slots + ")\n\n" + Prose(s.text);
      readerTable = false;
    }
    if (e->tableReader) {
      if (!readerTable) {
        md +=
            "\n| Reader | Table | Record class | Key | Left unread by the server |\n"
            "|---|---|---|---|---|\n";
        readerTable = true;
      }
      md += "| `" + e->readerArgs[0] + "` | " + e->readerArgs[2] + " | `" + e->readerArgs[1] +
            "` | `" + Cell(e->readerArgs[3]) + "` | " +
            (e->readerArgs[4].empty() ? "" : "`" + e->readerArgs[4] + "`") + " |\n";
      continue;
    }
    md += "\n### " + op.NameUtf8() + "\n\n`" + op.Signature() + "`\n\n" + Prose(e->comment);
  }
  // Notes on single table readers follow their table.
  std::string notes;
  for (const OperationEntry& op : ops) {
    const Entry* e = EntryOf(op);
    if (e && e->tableReader && !e->comment.empty()) {
      std::string text = e->comment;
      for (char& c : text)
        if (c == '\n') c = ' ';
      notes += "- `" + op.NameUtf8() + "`: " + Prose(Trim(text)) + "\n";
    }
  }
  if (!notes.empty()) {
    const std::string marker = "\n## Inserts";
    const size_t at = md.find(marker);
    md.insert(at == std::string::npos ? md.size() : at, "\n" + notes);
  }

  std::string limits;
  for (const OperationEntry& op : ops) {
    for (const LimitRow& l : LimitsOf(op))
      limits += "| `" + op.NameUtf8() + "` | `" + l.argument + "` | `" + l.parameter + "` | " +
                l.limit + " |\n";
  }
  if (!limits.empty()) {
    md +=
        "\n## Limits on the server\n\n"
        "What the server's stored procedures declare for the arguments (from the catalogue the\n"
        "server backend calls them by). A value beyond a limit is refused before anything is\n"
        "sent, unless the limit says it is cut or rounded; the embedded backend stores it as\n"
        "it is. Text lengths count characters.\n\n"
        "| Operation | Argument | Server parameter | Limit |\n|---|---|---|---|\n" +
        limits;
  }
  return md;
}

}  // namespace QuillData::cli
