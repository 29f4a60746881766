#pragma once
// A scratch catalogue for the operation tests: empty Song and List tables in
// <scratch>/Data, lyric files in <scratch>/songs (the current directory while
// the test runs, since the import opens files by bare name), a catalogue
// whose passwords are assigned, and the rows read back as text.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/catalogue/CatalogueHost.h"
#include "app/catalogue/SongCatalogue.h"
#include "support/ScratchDir.h"

namespace lyrabook::testing {

// A file list holding `names`, with `selected` as its selected file.
class TListedFiles : public TFileList {
 public:
  explicit TListedFiles(std::vector<std::string> names, std::string selected = {})
      : names_(std::move(names)), selected_(std::move(selected)) {}
  int Count() override { return static_cast<int>(names_.size()); }
  std::string NameAt(int index) override { return names_.at(static_cast<std::size_t>(index)); }
  std::string SelectedFileName() override { return selected_; }

 private:
  std::vector<std::string> names_;
  std::string selected_;
};

// Keeps every text shown.
class TCollectedStatus : public TStatusLine {
 public:
  void ShowStatus(std::string_view text) override { shown.emplace_back(text); }
  std::vector<std::string> shown;
};

class TCountedMessages : public TMessageBoxes {
 public:
  void ShowMessage(std::string_view text) override { shown.emplace_back(text); }
  std::vector<std::string> shown;
};

class CatalogueScratch : public ::testing::Test {
 protected:
  CatalogueScratch();
  ~CatalogueScratch() override;

  std::string Data() const { return dir_.Path("Data"); }
  // Writes lyric file `name` into the songs folder.
  void Write(const std::string& name, const std::string& bytes) const;
  // Imports `names` through catalogue_, showing the status in status_
  // (or `status`).
  int Import(std::vector<std::string> names);
  int Import(std::vector<std::string> names, TStatusLine& status);

  // Song rows as "Code|Name|Singer|Authur|Sex|Group|CreateBy" ("~" for blank).
  std::vector<std::string> SongRows();
  std::vector<std::string> ListRows();  // "Code|SearchBy|Detail|Key"
  // The rows of `table` through its dataset (opening the tables if they are
  // not), in the dataset's order, each the `fields` joined by '|'.
  std::vector<std::string> Rows(quire::TQuireTable& table, std::vector<const char*> fields);
  // What a check of both tables finds, as "TABLE: FAULT" lines; the
  // datasets are closed first.
  std::vector<std::string> CheckBothTables();

  quire::testing::ScratchDir dir_;
  std::filesystem::path previous_;
  TSongCatalogue catalogue_;
  TCollectedStatus status_;
};

}  // namespace lyrabook::testing
