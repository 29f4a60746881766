#include "engine/EngineError.h"

#include "engine/Engine.h"
#include "engine/FileSession.h"
#include "engine/ShortString.h"

namespace quire {
namespace {

[[noreturn]] void ThrowWith(TErrorCode code, const TErrorContext& context) {
  throw EQuireEngineError(code, context);
}

// The context is recorded in the current session, under its guard. While the
// engine is stopped there is none, and the raise builds its message from the
// texts given all the same, so that the exception still names what failed.
[[noreturn]] void Record(TErrorCode code, std::uint16_t osCode, std::string_view fileName,
                         std::string_view fieldText, std::string_view statementText,
                         std::string_view indexName) {
  TErrorContext context;
  context.code = code;
  context.osCode = osCode;
  context.fileName = ToShortString(fileName);
  context.fieldText = ToShortString(fieldText);
  context.statementText = ToShortString(statementText);
  context.indexName = ToShortString(indexName);
  if (TFileSession* session = CurrentSessionOrNull()) session->RecordError(context);
  ThrowWith(code, context);
}

}  // namespace

void TErrorContext::Clear() {
  *this = TErrorContext{};
}

EQuireEngineError::EQuireEngineError(TErrorCode code, const TErrorContext& context) {
  std::string text = BuildErrorMessage(code, context);
  message_ = "Quire Engine Error # " + std::to_string(code) + " " + text;
  errorList_.push_back(TQuireError{code, std::move(text)});
}

TErrorCode EQuireEngineError::Code() const {
  return errorList_.front().EngineCode;
}

void RaiseEngineError(TErrorCode code, std::string_view fileName, std::string_view fieldText,
                      std::string_view statementText, std::string_view indexName) {
  // 10758 means there is no session to record into; whatever context exists
  // stays as the last real failure left it.
  if (code == err::EngineNotInitialized) RaiseCode(code);
  Record(code, 0, fileName, fieldText, statementText, indexName);
}

void RaiseOsError(TErrorCode code, std::uint16_t osCode, std::string_view fileName) {
  if (code == err::EngineNotInitialized) RaiseCode(code);
  Record(code, osCode, fileName, {}, {}, {});
}

void RaiseCode(TErrorCode code) {
  TFileSession* session = CurrentSessionOrNull();
  ThrowWith(code, session != nullptr ? session->LastError() : TErrorContext{});
}

void RaiseIfNonzero(TErrorCode code) {
  if (code != 0) RaiseCode(code);
}

}  // namespace quire
