// The embedded schema's versions: a file records the version it holds; an older file is
// upgraded by the numbered scripts with its rows kept and comes out as a new file is made; a
// file the upgrade cannot take, or of a newer version, is left as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sqlite/SchemaTables.h"
#include "sqlite/SqliteFixture.h"

namespace QuillData::testing {
namespace {

namespace fs = std::filesystem;

class SchemaTest : public SqliteTest {
 protected:
  fs::path VersionOne(const std::string& name) {
    Exec(Path(name), FromUtf8(VersionOneSchema()));
    return Path(name);
  }

  // What a file is made of, its rows aside: each table's columns (type, key, default, and
  // whether its ids are never handed out twice) and each index's columns.
  static std::set<Row> Shape(const fs::path& db) {
    RawDb raw(db);
    std::set<Row> shape;
    for (const Row& t :
         raw.Query("SELECT name, sql LIKE '%AUTOINCREMENT%' FROM sqlite_schema WHERE type = "
                   "'table' AND name NOT LIKE 'sqlite_%'")) {
      shape.insert({t[0], "autoincrement", t[1]});
      for (Row c :
           raw.Query("SELECT name, type, pk, dflt_value FROM pragma_table_info('" + t[0] + "')")) {
        c.insert(c.begin(), t[0]);
        shape.insert(c);
      }
      for (Row i : raw.Query("SELECT l.name, i.seqno, i.name FROM pragma_index_list('" + t[0] +
                             "') l, pragma_index_info(l.name) i")) {
        i.insert(i.begin(), t[0]);
        shape.insert(i);
      }
    }
    return shape;
  }

  static std::string Version(const fs::path& db) {
    return RawDb(db).Query("PRAGMA user_version").at(0).at(0);
  }

  // A row inserted, the highest id deleted, and another inserted: the id the second one got.
  static std::string IdAfterDeletingTheLast(const fs::path& db) {
    RawDb raw(db);
    raw.Exec("INSERT INTO Machining (MachName) VALUES ('last')");
    raw.Exec("DELETE FROM Machining WHERE MachID = (SELECT max(MachID) FROM Machining)");
    raw.Exec("INSERT INTO Machining (MachName) VALUES ('next')");
    return raw.Query("SELECT max(MachID) FROM Machining WHERE MachName = 'next'").at(0).at(0);
  }
};

TEST_F(SchemaTest, AnOlderFileIsUpgradedWithItsRowsAndComesOutAsANewFileIsMade) {
  const fs::path fresh = Path("fresh.db");
  EXPECT_TRUE(CreateDatabase(fresh, false));
  EXPECT_EQ(SqliteSchemaVersion(fresh), kSqliteSchemaVersion);
  EXPECT_EQ(Version(fresh), std::to_string(kSqliteSchemaVersion));

  const fs::path old = VersionOne("old.db");
  Exec(old,
       L"INSERT INTO Machining (MachID, MachName) VALUES (1, 'a'), (2, 'b'), (7, 'c');"
       L"INSERT INTO MachLink (MachLinkID, MachID) VALUES (5, 7);"
       L"INSERT INTO tblLocal_Designs (fldDesignID, fldDesignName, fldCreated) VALUES (3, 'd', "
       L"'2024-01-02 03:04:05')");
  EXPECT_EQ(IdAfterDeletingTheLast(old), "8");  // version 1 hands id 8 out again
  EXPECT_EQ(SqliteSchemaVersion(old), 1);
  const Snapshot before = RawDb(old).Dump();

  EXPECT_FALSE(CreateDatabase(old, true));  // an upgrade, without the sample rows
  EXPECT_EQ(Version(old), std::to_string(kSqliteSchemaVersion));
  for (const auto& [table, diff] : Diff(before, RawDb(old).Dump()))
    EXPECT_TRUE(table == "sqlite_schema" || table == "sqlite_sequence") << table;
  EXPECT_EQ(Shape(old), Shape(fresh));
  EXPECT_EQ(IdAfterDeletingTheLast(old), "10");  // and from here on never again
  // Once: made again, as a host does at every start, a current file is left alone.
  const Snapshot upgraded = RawDb(old).Dump();
  EXPECT_FALSE(CreateDatabase(old, true));
  EXPECT_TRUE(Diff(upgraded, RawDb(old).Dump()).empty());

  // A file of this version made before versions were recorded: known by its tables.
  Exec(fresh, L"PRAGMA user_version = 0");
  EXPECT_EQ(SqliteSchemaVersion(fresh), 2);
}

TEST_F(SchemaTest, AFileTheUpgradeCannotTakeOrOfANewerVersionIsLeftAsItWas) {
  struct Case {
    std::wstring change;
    int32_t number;
    const wchar_t* says;
  };
  const Case cases[] = {
      // A view of the host's own would break, its trigger would go with the rebuilt table.
      {L"CREATE VIEW Names AS SELECT MachName FROM Machining", ErrNo::StatementError,
       L"version 2 of the schema failed, so it is left as it was"},
      {L"CREATE TRIGGER Stamp AFTER INSERT ON MachLink BEGIN SELECT 1; END", ErrNo::StatementError,
       L"views_and_triggers_in_the_way"},
      {L"ALTER TABLE Machining ADD COLUMN Extra TEXT", ErrNo::StatementError, L"columns"},
      {L"PRAGMA user_version = " + std::to_wstring(kSqliteSchemaVersion + 1),
       ErrNo::InvalidFileFormat, L"newer than this library's"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const fs::path db = VersionOne("case" + std::to_string(++n) + ".db");
    Exec(db, L"INSERT INTO Machining (MachName) VALUES ('kept');" + c.change);
    const Snapshot before = RawDb(db).Dump();
    auto e = EXPECT_QUILL_ERROR(CreateDatabase(db, false), c.number);
    EXPECT_NE(e.Description().find(c.says), std::wstring::npos) << ToUtf8(e.Description());
    EXPECT_EQ(Diff(before, RawDb(db).Dump()).size(), 0u) << ToUtf8(c.change);
  }
  auto newer =
      EXPECT_QUILL_ERROR(CreateDatabase(Path("case4.db"), false), ErrNo::InvalidFileFormat);
  EXPECT_EQ(newer.Kind(), ErrorKind::RefusedArgument);
  // Part of the schema is no schema: refused with a sentence.
  Exec(Path("partial.db"), L"CREATE TABLE Machining (MachID INTEGER PRIMARY KEY)");
  auto e = EXPECT_QUILL_ERROR(CreateDatabase(Path("partial.db"), false), ErrNo::StatementError);
  EXPECT_EQ(e.Source(), L"CreateDatabase");
  EXPECT_NE(
      e.Description().find(L"holds 1 of the schema's " +
                           std::to_wstring(sqlite_detail::SchemaTables().size()) + L" tables"),
      std::wstring::npos)
      << ToUtf8(e.Description());
}

// A table added to the schema is one more upgrade: a file of the shipped version takes it
// with its rows kept, and an older file goes through every upgrade to the same place.
TEST_F(SchemaTest, AddingATableIsAnUpgradeScript) {
  const SchemaScripts& shipped = sqlite_detail::ShippedSchema();
  const std::string table =
      "CREATE TABLE tblScratch (fldScratchID INTEGER PRIMARY KEY AUTOINCREMENT);";
  const std::string full = std::string(shipped.full) + table;
  std::vector<SchemaStep> steps(shipped.upgrades.begin(), shipped.upgrades.end());
  steps.push_back({shipped.version + 1, table});
  const SchemaScripts scratch{full, shipped.version + 1, steps};
  auto bring = [&](const fs::path& db) {
    sqlite_detail::Database file(L"", db, L"test", sqlite_detail::Database::Open::Create);
    file.Exec(L"BEGIN IMMEDIATE");
    const int32_t held = sqlite_detail::BringToVersion(file, scratch);
    file.Exec(L"COMMIT");
    return held;
  };

  const fs::path shop = NewDatabase(true, "shop.db");
  const Snapshot before = RawDb(shop).Dump();
  EXPECT_EQ(bring(shop), shipped.version);
  EXPECT_EQ(Version(shop), std::to_string(scratch.version));
  const auto diff = Diff(before, RawDb(shop).Dump());
  EXPECT_EQ(diff.size(), 1u);
  EXPECT_EQ(diff.count("sqlite_schema"), 1u);

  const fs::path fresh = Path("fresh.db");
  EXPECT_EQ(bring(fresh), 0);
  const fs::path old = VersionOne("old.db");
  EXPECT_EQ(bring(old), 1);
  EXPECT_EQ(Shape(old), Shape(fresh));
  EXPECT_EQ(Shape(shop), Shape(fresh));
  EXPECT_EQ(RawDb(fresh).Query("SELECT count(*) FROM sqlite_schema WHERE name = 'tblScratch'"),
            std::vector<Row>{{"1"}});
}

}  // namespace
}  // namespace QuillData::testing
