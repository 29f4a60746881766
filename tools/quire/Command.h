#pragma once
// What every command of the quire tool gets, and how it reports a usage
// error. Engine errors travel as EQuireEngineError; main turns each kind of
// failure into its exit status and message.

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "TextCodec.h"

namespace quire::cli {

// A wrong command line or unreadable input: exit status 2, nothing changed.
class EUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TGlobalOptions {
  std::vector<std::string> Passwords;  // as given (UTF-8), registered in order
  bool Exclusive = false;
  bool ReadOnly = false;
  std::uint8_t LockRetryCount = 15;
  std::uint16_t LockWaitTime = 100;
  TCodePage CodePage = TCodePage::Cp874;
};

struct TCommandContext {
  const TGlobalOptions& Options;
  std::vector<std::string> Args;  // after the command name
  std::ostream& Out;
  std::ostream& Err;
  TTextCodec Codec;
};

// A command returns its exit status (0 on success).
using TCommandFunction = int (*)(TCommandContext&);

// The command of that name, or null.
TCommandFunction FindCommand(std::string_view name);

// The commands, one file each.
int RunCreate(TCommandContext& context);
int RunInfo(TCommandContext& context);
int RunInsert(TCommandContext& context);
int RunDump(TCommandContext& context);
int RunUpdate(TCommandContext& context);
int RunDelete(TCommandContext& context);
int RunEmpty(TCommandContext& context);
int RunCheck(TCommandContext& context);
int RunStress(TCommandContext& context);
int RunSql(TCommandContext& context);
// The worker processes that stress starts; not for users.
int RunStressWorker(TCommandContext& context);

}  // namespace quire::cli
