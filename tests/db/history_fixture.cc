#include "history_fixture.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/replace_strings.h"
#include "sql/parameter.h"

namespace tavrix::testing {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavrix-db-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void CreateHistoryTable(sql::SqlConnection& db, std::string_view file, std::string_view table) {
  const std::string path = std::string(TAVRIX_HISTORY_SCHEMA_DIR) + "/" + std::string(file);
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  // Comment lines out, then one statement per ";".
  std::string text;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("--", 0) != 0) text += line + "\n";
  }
  // The table's name, not the index's ("TavrixHistory_item").
  const std::string_view name = "TavrixHistory";
  for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
    if (text[at + name.size()] == '_') {
      at += name.size();
      continue;
    }
    text.replace(at, name.size(), table);
    at += table.size();
  }
  std::istringstream statements(text);
  for (std::string statement; std::getline(statements, statement, ';');) {
    if (statement.find_first_not_of(" \n\t") == std::string::npos) continue;
    ASSERT_EQ(db.Execute(statement, nullptr), S_OK) << db.lastError().description;
  }
}

std::vector<StoredRow> ReadRows(sql::SqlConnection& db, std::string_view table,
                                std::string_view orderBy) {
  sql::RowSet rows;
  const std::string query =
      "SELECT controller_name, item_name, item_value, item_vartype, item_time, item_time_ms, "
      "flags FROM " +
      std::string(table) + " ORDER BY " + std::string(orderBy);
  EXPECT_EQ(db.Execute(query, &rows), S_OK) << db.lastError().description;
  std::vector<StoredRow> out;
  for (size_t r = 0; r < rows.rowCount(); ++r) {
    StoredRow row;
    row.controller = rows.at(r, 0).text();
    row.item = rows.at(r, 1).text();
    row.value = rows.at(r, 2);
    row.vartype = rows.at(r, 3).i2();
    const Variant& time = rows.at(r, 4);
    if (time.vt() == VT_DATE) {
      EXPECT_EQ(sql::DateTimeText(time.date(), &row.time), S_OK);
    } else {
      row.time = DebugString(time);
    }
    row.microsecond = rows.at(r, 5).i4();
    row.flags = rows.at(r, 6).i4();
    out.push_back(std::move(row));
  }
  return out;
}

std::vector<std::string> Values(const std::vector<StoredRow>& rows) {
  std::vector<std::string> out;
  for (const StoredRow& row : rows) {
    out.push_back(row.value.IsText() ? row.value.text()
                  : row.value.IsNull() ? "NULL"
                                       : DebugString(row.value));
  }
  return out;
}

WorkspaceRecord HistoryWorkspace(std::string primary, std::string secondary) {
  WorkspaceRecord w;
  w.m_bEnableHistory = true;
  w.m_strHistoryADOCon = std::move(primary);
  w.m_strTableName = "TavrixHistory";
  w.m_strHistoryADOCon2nd = std::move(secondary);
  w.m_strTableName2nd = "TavrixHistory";
  return w;
}

void HistoryTest::SetUp() {
  TavrixUtility::DBStringReplaceMap::Instance().ResetForTesting();
  primary_ = "Provider=SQLite;Data Source=" + folder_.path() + "/primary.db;Create=True";
  secondary_ = "Provider=SQLite;Data Source=" + folder_.path() + "/secondary.db;Create=True";
  for (const std::string* cs : {&primary_, &secondary_}) {
    auto db = Open(*cs);
    ASSERT_TRUE(db);
    CreateHistoryTable(*db, "history_sqlite.sql");
  }
}

void HistoryTest::TearDown() {
  man_.reset();
  TavrixUtility::DBStringReplaceMap::Instance().ResetForTesting();
}

HRESULT HistoryTest::Start(const WorkspaceRecord& workspace) {
  man_ = std::make_unique<CTavrixHistoryMan>(injector_);
  return man_->Initialize(workspace, folder_.path() + "/project.xml");
}

WorkspaceRecord HistoryTest::Workspace() const { return HistoryWorkspace(primary_, secondary_); }

std::unique_ptr<sql::SqlConnection> HistoryTest::Open(const std::string& cs) const {
  std::unique_ptr<sql::SqlConnection> db;
  sql::ProviderError e;
  EXPECT_EQ(sql::OpenConnection(cs, &db, &e), S_OK) << e.description;
  return db;
}

std::vector<StoredRow> HistoryTest::PrimaryRows() const { return ReadRows(*Open(primary_)); }

std::vector<StoredRow> HistoryTest::SecondaryRows() const { return ReadRows(*Open(secondary_)); }

HRESULT HistoryTest::Add(std::string_view controller, std::string_view item, const Variant& value,
                         uint32_t microsecond) {
  return man_->AddHistory(controller, item, value, kTime, microsecond);
}

void HistoryTest::Fill(const std::string& cs, int n) const {
  auto db = Open(cs);
  ASSERT_EQ(db->Execute("BEGIN", nullptr), S_OK);
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(db->Execute("INSERT INTO TavrixHistory VALUES('old', 'x', '3," +
                              std::to_string(i) + "', 3, '2023-01-01 00:00:00', 0, 0)",
                          nullptr),
              S_OK);
  }
  ASSERT_EQ(db->Execute("COMMIT", nullptr), S_OK);
}

}  // namespace tavrix::testing
