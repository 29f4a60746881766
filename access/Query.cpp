#include "access/Query.h"

#include "access/Database.h"
#include "access/ParamBinding.h"
#include "access/ParamScan.h"
#include "access/Session.h"
#include "engine/BlankText.h"
#include "engine/DatabaseError.h"
#include "sql/DataQuery.h"

namespace quire {

TQuireQuery::TQuireQuery(const void* owner) : TQuireDBDataSet(owner) {}

TQuireQuery::~TQuireQuery() {
  try {
    Close();
  } catch (...) {
    // Nothing left to keep.
  }
  statement_.reset();
}

namespace {

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace

void TQuireQuery::SetSQL(std::vector<std::string> lines) {
  if (JoinLines(lines) == JoinLines(lines_)) return;
  lines_ = std::move(lines);
  TextChanged();
}

void TQuireQuery::ClearSQL() {
  if (lines_.empty()) return;
  lines_.clear();
  TextChanged();
}

void TQuireQuery::AddSQL(std::string_view line) {
  lines_.emplace_back(line);
  TextChanged();
}

void TQuireQuery::TextChanged() {
  const std::string text = JoinLines(lines_);
  Close();
  statement_.reset();
  // Without ParamCheck the text goes to the engine as it is, references
  // and all, and the parameters stay as they were.
  if (!paramCheck_) {
    engineText_ = text;
    return;
  }
  const TScannedText scanned = ScanParameters(text);
  engineText_ = scanned.engineText;
  // Values of parameters that keep their name survive the change.
  std::vector<TQuireParam> params;
  for (const std::string& name : scanned.names) {
    TQuireParam param;
    param.Name = name;
    for (const TQuireParam& old : params_)
      if (EqualsIgnoringAsciiCase(old.Name, name)) param = old;
    params.push_back(std::move(param));
  }
  params_ = std::move(params);
}

TQuireParam& TQuireQuery::ParamByName(std::string_view name) {
  for (TQuireParam& param : params_)
    if (EqualsIgnoringAsciiCase(param.Name, name)) return param;
  RaiseDatabaseError("Parameter '" + std::string(name) + "' not found");
}

void TQuireQuery::Prepare() {
  if (Active()) RaiseDatabaseError("Cannot perform this operation on an open dataset");
  if (engineText_.size() < 2) RaiseDatabaseError("No SQL statement available");
  auto statement = std::make_unique<TDataQuery>();
  TQuerySettings& settings = statement->Settings();
  settings.StrictChangeDetection = strict_;
  settings.LockRetryCount = lockRetryCount_;
  settings.LockWaitTime = lockWaitTime_;
  settings.LiveResult = requestLive_;
  std::string folder = DatabaseFolder();
  if (!folder.empty() && folder.back() == '/') folder.pop_back();
  settings.DatabaseDirectory = folder;
  TQuireSession& session = Session();
  settings.PasswordCallback = [&session] { return session.PromptForPassword(); };
  session.MakeCurrent();
  struct TRemovePrompt {
    TQuerySettings& settings;
    ~TRemovePrompt() { settings.PasswordCallback = nullptr; }
  } removePrompt{settings};
  statement->PrepareStatement(engineText_);
  statement_ = std::move(statement);
}

void TQuireQuery::SetDataSource(TDataSource* source) {
  if (source != nullptr && source->DataSet() == this)
    RaiseDatabaseError("Circular datalinks are not allowed");
  sourceLink_.SetSource(source);
}

void TQuireQuery::FillFromDataSource() {
  TQuireDataSet* master = sourceLink_.DataSet();
  if (master == nullptr) return;
  for (TQuireParam& param : params_) {
    if (param.Bound) continue;
    // A field the master lacks leaves the parameter without a value, and the
    // binding says so.
    if (const TField* field = master->FindField(param.Name)) param.Value = field->Value();
  }
}

TDataFile* TQuireQuery::Execute() {
  if (lines_.empty()) RaiseDatabaseError("No SQL statement available");
  if (!statement_) Prepare();
  FillFromDataSource();
  if (!params_.empty()) {
    const TParamBinding binding = BindParams(params_);
    statement_->SetParamBuffer(binding.Descriptors, binding.Buffer);
  }
  statement_->SetProgressCallback([this](std::int32_t step, std::int32_t percent, bool& abort) {
    if (OnQueryProgress) OnQueryProgress(*this, step, static_cast<std::uint16_t>(percent), abort);
  });
  struct TRemoveCallback {
    TDataQuery& query;
    ~TRemoveCallback() { query.SetProgressCallback({}); }
  } remove{*statement_};
  TDataFile* result = statement_->RunStatement();
  rowsAffected_ = statement_->RowsAffected();
  return result;
}

void TQuireQuery::RunSQL() {
  if (Active()) RaiseDatabaseError("Cannot perform this operation on an open dataset");
  AcquireDatabase();
  try {
    Execute();
  } catch (...) {
    statement_.reset();
    ReleaseDatabase();
    throw;
  }
  statement_.reset();
  ReleaseDatabase();
}

TDataFile& TQuireQuery::OpenCursor() {
  AcquireDatabase();
  try {
    TDataFile* result = Execute();
    if (result == nullptr) RaiseDatabaseError("Error creating table handle.");
    return *result;
  } catch (...) {
    statement_.reset();
    ReleaseDatabase();
    throw;
  }
}

void TQuireQuery::CloseCursor() {
  statement_.reset();
  ReleaseDatabase();
}

}  // namespace quire
