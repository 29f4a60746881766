#include "engine/EngineError.h"

#include "engine/Engine.h"
#include "engine/FileSession.h"
#include "engine/ShortString.h"

namespace quire {
namespace {

// The context that raises write: the current session's. While the engine is
// stopped there is none, and the raise builds its message from a context of
// its own instead, so that the exception still names what failed.
TErrorContext* CurrentContext() {
  TFileSession* session = CurrentSessionOrNull();
  return session != nullptr ? &session->ErrorContext() : nullptr;
}

[[noreturn]] void ThrowWith(TErrorCode code, const TErrorContext& context) {
  throw EQuireEngineError(code, context);
}

[[noreturn]] void Record(TErrorCode code, std::uint16_t osCode, std::string_view fileName,
                         std::string_view fieldText, std::string_view statementText,
                         std::string_view indexName) {
  TErrorContext local;
  TErrorContext* current = CurrentContext();
  TErrorContext& context = current != nullptr ? *current : local;
  context.Clear();
  context.code = code;
  context.osCode = osCode;
  context.fileName = ToShortString(fileName);
  context.fieldText = ToShortString(fieldText);
  context.statementText = ToShortString(statementText);
  context.indexName = ToShortString(indexName);
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
  TErrorContext empty;
  TErrorContext* current = CurrentContext();
  ThrowWith(code, current != nullptr ? *current : empty);
}

void RaiseIfNonzero(TErrorCode code) {
  if (code != 0) RaiseCode(code);
}

}  // namespace quire
