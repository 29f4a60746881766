#pragma once
// How the engine reports a failure. Every failure is one code plus up to four
// context texts kept in the current engine session; the raise routines below
// record them and throw EQuireEngineError, whose message is
//   "Quire Engine Error # " + code + " " + text
// with the text built from the context (at most 127 characters). The record
// reads return 8705 and 8706 instead of raising; callers that want an
// exception for such a code use RaiseIfNonzero.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ErrorCodes.h"

namespace quire {

// The context of the last raise, held by the engine session. Texts longer
// than 255 characters are cut when stored.
struct TErrorContext {
  TErrorCode code = 0;
  std::uint16_t osCode = 0;  // operating-system error number behind 11047
  std::string fieldText;
  std::string fileName;
  std::string statementText;
  std::string indexName;

  void Clear();
};

// One entry of an engine exception: the code and the message text.
struct TQuireError {
  TErrorCode EngineCode = 0;
  std::string EngineText;
};

class EQuireEngineError : public std::exception {
 public:
  // Builds the exception for `code` from `context` as the engine does.
  EQuireEngineError(TErrorCode code, const TErrorContext& context);

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }
  // The first entry's code; engine exceptions always hold at least one entry.
  TErrorCode Code() const;
  const std::vector<TQuireError>& ErrorList() const { return errorList_; }

 private:
  std::string message_;
  std::vector<TQuireError> errorList_;
};

// The message text for `code` from `context`, cut at 127 characters.
std::string BuildErrorMessage(TErrorCode code, const TErrorContext& context);

// Clears the current session's context, stores the code and texts, and throws.
// For 10758 (no engine session) the context is left alone.
[[noreturn]] void RaiseEngineError(TErrorCode code, std::string_view fileName = {},
                                   std::string_view fieldText = {},
                                   std::string_view statementText = {},
                                   std::string_view indexName = {});

// Clears the current session's context, stores `code`, the operating-system
// error number and the file name, and throws. The file layer raises its mapped
// failures through this so that the number survives the clearing and the
// 11047 text shows it.
[[noreturn]] void RaiseOsError(TErrorCode code, std::uint16_t osCode, std::string_view fileName);

// Throws for `code` with whatever context the last raise left.
[[noreturn]] void RaiseCode(TErrorCode code);

// RaiseCode when `code` is not 0.
void RaiseIfNonzero(TErrorCode code);

}  // namespace quire
