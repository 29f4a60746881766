#include "access/DataSetFilter.h"

#include "engine/EngineError.h"
#include "sql/ExprParser.h"

namespace quire {

void TDataSetFilters::BuildFilters(std::unique_ptr<TFilter>& expression,
                                   std::unique_ptr<TFilter>& callback) {
  if (!text_.empty()) {
    const TExprParser parser(table_.LogicalFields(), options_, text_);
    expression = std::make_unique<TFilter>(table_, parser.FilterData());
  }
  if (test_) callback = std::make_unique<TFilter>(table_, test_);
}

void TDataSetFilters::Build(std::string_view text, TFilterOptions options, TRecordTest test) {
  const std::string oldText = std::move(text_);
  const TFilterOptions oldOptions = options_;
  TRecordTest oldTest = std::move(test_);
  text_ = text;
  options_ = options;
  test_ = std::move(test);
  std::unique_ptr<TFilter> expression;
  std::unique_ptr<TFilter> callback;
  try {
    BuildFilters(expression, callback);
  } catch (...) {
    text_ = oldText;
    options_ = oldOptions;
    test_ = std::move(oldTest);
    throw;
  }
  // The old filters leave the table before the new ones come in.
  expression_.reset();
  callback_.reset();
  expression_ = std::move(expression);
  callback_ = std::move(callback);
  active_ = false;
}

void TDataSetFilters::ActivateBuilt() {
  if (expression_) expression_->Activate();
  if (callback_) callback_->Activate();
}

void TDataSetFilters::Activate() {
  try {
    ActivateBuilt();
  } catch (const EQuireEngineError&) {
    expression_.reset();
    callback_.reset();
    BuildFilters(expression_, callback_);
    ActivateBuilt();
  }
  active_ = true;
}

void TDataSetFilters::Deactivate() {
  if (expression_) expression_->Deactivate();
  if (callback_) callback_->Deactivate();
  active_ = false;
}

}  // namespace quire
