#pragma once
// The window's lists as lyrabook-cli stands them in: a folder's files that
// match a mask (ignoring letter case), sorted by name ignoring case, with
// the folder as the current directory, as the window's folder list keeps it.

#include <string>
#include <vector>

#include "app/catalogue/CatalogueHost.h"

namespace lyrabook::cli {

// The names in `folder` that match "*" + extension, ignoring case, sorted
// ignoring case.
std::vector<std::string> ListFolder(const std::string& folder, const std::string& mask);

class TFolderFileList : public TFileList {
 public:
  TFolderFileList(std::string folder, std::vector<std::string> names, std::string selected = {})
      : folder_(std::move(folder)), names_(std::move(names)), selected_(std::move(selected)) {}
  int Count() override { return static_cast<int>(names_.size()); }
  std::string NameAt(int index) override { return names_.at(index); }
  std::string SelectedFileName() override {
    return selected_.empty() ? std::string() : folder_ + "/" + selected_;
  }

 private:
  std::string folder_;
  std::vector<std::string> names_;
  std::string selected_;
};

class TFolderWalk : public TLyricFolders {
 public:
  explicit TFolderWalk(std::string folder);
  std::string CurrentFolder() override { return folder_; }
  void SetMask(std::string_view mask) override { mask_ = mask; }
  void SetFolder(const std::string& folder) override;
  std::vector<std::string> Names() override { return ListFolder(folder_, mask_); }

 private:
  std::string folder_;
  std::string mask_ = "*.txt";
};

// Makes `folder` the current directory; an input/output error when it
// cannot be entered.
void EnterFolder(const std::string& folder);

}  // namespace lyrabook::cli
