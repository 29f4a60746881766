#pragma once
// Stand-ins for the window's hosts when a test runs the import on its own:
// a file list of given names and a status line that shows nothing.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/catalogue/CatalogueHost.h"

namespace lyrabook::test {

class TNames : public TFileList {
 public:
  explicit TNames(std::vector<std::string> names) : names_(std::move(names)) {}
  int Count() override { return static_cast<int>(names_.size()); }
  std::string NameAt(int index) override { return names_.at(static_cast<std::size_t>(index)); }
  std::string SelectedFileName() override { return {}; }

 private:
  std::vector<std::string> names_;
};

class TNoStatus : public TStatusLine {
 public:
  void ShowStatus(std::string_view) override {}
};

}  // namespace lyrabook::test
