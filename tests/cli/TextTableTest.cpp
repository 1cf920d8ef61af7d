// The readable table the demo prints.
#include <gtest/gtest.h>

#include <sstream>

#include "QuillData/contract/Records.h"
#include "cli/TextTable.h"

namespace QuillData::cli {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);) out.push_back(line);
  return out;
}

TEST(TextTable, NarrowRecordsGetOneAlignedRowEach) {
  Tessera::Collection c;
  for (auto [id, name] : {std::pair{1, L"Depth"}, std::pair{12, L"Width of the groove"}}) {
    auto v = std::make_shared<tblMachVariable>();
    v->MachVarID = id;
    v->Name = name;
    c.Add(Variant(v), Variant(std::to_wstring(id)));
  }
  std::ostringstream out;
  PrintCollection(out, "GETTblMachVariable", c);
  auto lines = Lines(out.str());
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "GETTblMachVariable: 2 records");
  EXPECT_EQ(lines[1].rfind("key  MachVarID  Name", 0), 0u) << lines[1];
  // Every column starts at the same place on every line.
  auto column = lines[1].find("Name");
  EXPECT_EQ(lines[3].substr(column, 5), "Depth");
  EXPECT_EQ(lines[4].substr(column, 19), "Width of the groove");
  EXPECT_EQ(lines[2].substr(0, 3), "---");
}

TEST(TextTable, PlainRowsAreAlignedPaddedAndCut) {
  std::ostringstream out;
  PrintTable(out, {L"a", L"bb"},
             {{L"1"}, {L"long text that goes on and on past the cell's width", L"x"}});
  auto lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("a", 0), 0u);
  EXPECT_EQ(lines[2], "1");  // the missing cell is blank
  EXPECT_LT(lines[3].size(), 40u);
  EXPECT_NE(lines[3].find("\u2026"), std::string::npos);
  std::ostringstream none;
  PrintTable(none, {}, {{L"1"}});
  EXPECT_EQ(none.str(), "");
}

}  // namespace
}  // namespace QuillData::cli
