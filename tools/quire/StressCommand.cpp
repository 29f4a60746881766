// quire stress TABLE --processes N --seconds S [--kill-writers]
//
// Starts N worker processes (this program again, with the hidden command
// stress-worker; each opens the table itself) that insert, update, delete
// and read random records for S seconds with the normal lock retries, each
// logging what it did. Then it reads the table and compares it with the
// logs, and checks the files. With --kill-writers one worker at a time is
// killed (SIGKILL) at a random moment and a new one started in its place;
// the operation a killed worker had begun may have happened or not, and the
// comparison accepts either outcome for it alone.
//
// Output: the check's fault lines, if any; a line of figures; and last
// "ops N, lost N, duplicated N, lock failures N, check ok" (or "check
// failed"). Exit 0 only when nothing was lost or duplicated and the check
// passed.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <thread>

#include "Command.h"
#include "StressCommand.h"
#include "TableSession.h"
#include "engine/EngineError.h"
#include "engine/TableCheck.h"

namespace quire::cli {
namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

constexpr int kMaxProcesses = 64;

struct TStressOptions {
  std::string table;
  int processes = 0;
  double seconds = 0;
  bool killWriters = false;
};

double ParsePositive(const std::string& option, const std::string& text, double max) {
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !(value > 0) ||
      value > max)
    throw EUsageError(option + " needs a number above 0, at most " + std::to_string(int(max)));
  return value;
}

TStressOptions ParseOptions(const TCommandContext& context) {
  const auto& args = context.Args;
  TStressOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw EUsageError(args[i] + " needs a value");
      return args[++i];
    };
    if (args[i] == "--processes") {
      const double n = ParsePositive(args[i], value(), kMaxProcesses);
      if (n != static_cast<int>(n)) throw EUsageError("--processes needs a whole number");
      options.processes = static_cast<int>(n);
    } else if (args[i] == "--seconds") {
      options.seconds = ParsePositive(args[i], value(), 86400);
    } else if (args[i] == "--kill-writers") {
      options.killWriters = true;
    } else if (options.table.empty() && args[i].rfind("--", 0) != 0) {
      options.table = args[i];
    } else {
      throw EUsageError("usage: quire stress TABLE --processes N --seconds S [--kill-writers]");
    }
  }
  if (options.table.empty() || options.processes == 0 || options.seconds == 0)
    throw EUsageError("usage: quire stress TABLE --processes N --seconds S [--kill-writers]");
  if (context.Options.Exclusive || context.Options.ReadOnly)
    throw EUsageError("stress shares the table: --exclusive and --read-only do not apply");
  return options;
}

// A worker process and its log.
struct TWorkerProcess {
  pid_t pid = 0;
  std::string log;
  bool killed = false;  // its last operation may be half done
};

class TStressRun {
 public:
  TStressRun(const TCommandContext& context, TStressOptions options)
      : context_(context), options_(std::move(options)) {
    options_.table = fs::absolute(options_.table).string();
    logDir_ = fs::path(options_.table).replace_extension(".stress");
  }

  int Run() {
    std::size_t duplicates = 0;
    expected_ = ReadTable(duplicates);
    fs::remove_all(logDir_);
    fs::create_directories(logDir_);
    const auto start = TClock::now();
    deadline_ = start + std::chrono::duration_cast<TClock::duration>(
                            std::chrono::duration<double>(options_.seconds));
    for (int i = 0; i < options_.processes; ++i) running_.push_back(Spawn());
    if (options_.killWriters) KillLoop();
    for (const std::size_t i : running_) Wait(i);
    const double elapsed = std::chrono::duration<double>(TClock::now() - start).count();

    for (const TWorkerProcess& worker : workers_) ReadLog(worker);
    std::size_t tableDuplicates = 0;
    const auto actual = ReadTable(tableDuplicates);
    Compare(actual);
    duplicated_ += tableDuplicates + duplicates;

    const std::vector<std::string> faults = CheckTable(options_.table);
    for (const std::string& fault : faults) context_.Out << fault << '\n';
    context_.Out << "processes " << options_.processes << ", seconds " << elapsed
                 << ", ops per second "
                 << static_cast<std::uint64_t>(static_cast<double>(ops_) / elapsed) << ", reads "
                 << reads_ << ", refused " << refused_ << ", workers killed " << killed_
                 << ", other errors " << otherErrors_ << ", logs " << logDir_.string() << '\n';
    context_.Out << "ops " << ops_ << ", lost " << lost_ << ", duplicated " << duplicated_
                 << ", lock failures " << lockFailures_ << ", check "
                 << (faults.empty() ? "ok" : "failed") << '\n';
    return lost_ == 0 && duplicated_ == 0 && faults.empty() && !workerFailed_ ? 0 : 1;
  }

 private:
  struct TAlternatives {
    std::optional<TRecordDigest> before;  // none: absent before
    std::optional<TRecordDigest> after;   // none: absent after
  };

  std::map<std::int32_t, TRecordDigest> ReadTable(std::size_t& duplicates) {
    TDataFile table;
    PrepareTable(table, context_, options_.table);
    std::string failure;
    std::map<std::int32_t, TRecordDigest> records;
    try {
      table.Open();
      records = ReadAllRecords(table, duplicates, failure);
      table.Close();
    } catch (const EQuireEngineError& e) {
      failure = e.what();
    }
    // Damage a killed writer left may keep records from being read; they
    // count as lost, and the check says why.
    if (!failure.empty()) context_.Out << "reading the table: " << failure << '\n';
    return records;
  }

  std::size_t Spawn() {
    TWorkerProcess worker;
    worker.log = (logDir_ / ("worker-" + std::to_string(workers_.size() + 1) + ".log")).string();
    const double left = std::chrono::duration<double>(deadline_ - TClock::now()).count();
    std::vector<std::string> args{"quire"};
    for (const std::string& password : context_.Options.Passwords) {
      args.push_back("--password");
      args.push_back(password);
    }
    args.insert(args.end(),
                {"--lock-retry", std::to_string(context_.Options.LockRetryCount), "--lock-wait",
                 std::to_string(context_.Options.LockWaitTime), "stress-worker", options_.table,
                 worker.log, std::to_string(std::max(left, 0.0)),
                 std::to_string(seeds_() ^ static_cast<std::uint64_t>(::getpid()))});
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    context_.Out.flush();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("cannot start a worker process");
    if (pid == 0) {
      // The table is opened by the new program, never inherited.
      ::execv("/proc/self/exe", argv.data());
      ::_exit(127);
    }
    worker.pid = pid;
    workers_.push_back(worker);
    return workers_.size() - 1;
  }

  void Wait(std::size_t i) {
    int status = 0;
    ::waitpid(workers_[i].pid, &status, 0);
    if (workers_[i].killed) return;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      // A worker that died by itself may have left its operation half done
      // like a killed one; the run fails all the same.
      workers_[i].killed = true;
      workerFailed_ = true;
      context_.Out << "worker " << i + 1 << " ended abnormally (status " << status << ")\n";
    }
  }

  void KillLoop() {
    std::uniform_int_distribution<int> pause(50, 400);
    while (TClock::now() + std::chrono::milliseconds(100) < deadline_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pause(seeds_)));
      if (TClock::now() >= deadline_) break;
      const std::size_t slot =
          std::uniform_int_distribution<std::size_t>(0, running_.size() - 1)(seeds_);
      TWorkerProcess& victim = workers_[running_[slot]];
      ::kill(victim.pid, SIGKILL);
      victim.killed = true;
      ++killed_;
      int status = 0;
      ::waitpid(victim.pid, &status, 0);
      running_[slot] = Spawn();
    }
  }

  void ReadLog(const TWorkerProcess& worker) {
    std::ifstream log(worker.log);
    std::string line;
    std::optional<std::string> intent;  // the last "?" line not yet settled
    while (std::getline(log, line)) {
      std::istringstream in(line);
      std::string kind;
      in >> kind;
      std::int32_t autoInc = 0;
      TRecordDigest digest;
      if (kind == "?") {
        intent = line;
      } else if (kind == "I" || kind == "U") {
        in >> autoInc >> digest.fields >> digest.blobs;
        expected_[autoInc] = digest;
        ++ops_;
        intent.reset();
      } else if (kind == "D") {
        in >> autoInc;
        expected_.erase(autoInc);
        ++ops_;
        intent.reset();
      } else if (kind == "R") {
        ++ops_;
        ++reads_;
      } else if (kind == "S") {
        ++lost_;  // an own record read back other than it was written
      } else if (kind == "L") {
        ++lockFailures_;
        intent.reset();
      } else if (kind == "E") {
        ++refused_;
        intent.reset();
      } else if (kind == "X") {
        ++otherErrors_;
        if (intent) Uncertain(*intent);
        intent.reset();
      }
    }
    if (intent && worker.killed) Uncertain(*intent);
  }

  // An operation begun and never seen to end: either outcome is accepted.
  void Uncertain(const std::string& intent) {
    std::istringstream in(intent);
    std::string mark, kind;
    std::int32_t autoInc = 0;
    TRecordDigest digest;
    in >> mark >> kind;
    if (kind == "I") {
      in >> digest.fields >> digest.blobs;
      uncertainInserts_.push_back(digest);
      return;
    }
    in >> autoInc;
    const auto it = expected_.find(autoInc);
    TAlternatives alternatives;
    if (it != expected_.end()) alternatives.before = it->second;
    if (kind == "U") {
      in >> digest.fields >> digest.blobs;
      alternatives.after = digest;
    }
    uncertain_[autoInc] = alternatives;
    expected_.erase(autoInc);
  }

  void Compare(const std::map<std::int32_t, TRecordDigest>& actual) {
    for (const auto& [autoInc, digest] : expected_) {
      const auto it = actual.find(autoInc);
      if (it == actual.end() || !(it->second == digest)) ++lost_;
    }
    for (const auto& [autoInc, digest] : actual) {
      if (expected_.count(autoInc) != 0) continue;
      const auto u = uncertain_.find(autoInc);
      if (u != uncertain_.end()) {
        if (digest == u->second.before || digest == u->second.after) continue;
        ++lost_;  // neither what it held nor what it was to hold
        continue;
      }
      const auto insert = std::find(uncertainInserts_.begin(), uncertainInserts_.end(), digest);
      if (insert != uncertainInserts_.end()) {
        uncertainInserts_.erase(insert);
        continue;
      }
      ++duplicated_;  // a record no log accounts for
    }
    for (const auto& [autoInc, alternatives] : uncertain_) {
      if (actual.count(autoInc) == 0 && alternatives.before && alternatives.after) ++lost_;
    }
  }

  const TCommandContext& context_;
  TStressOptions options_;
  fs::path logDir_;
  TClock::time_point deadline_;
  std::mt19937_64 seeds_{std::random_device{}()};
  std::vector<TWorkerProcess> workers_;
  std::vector<std::size_t> running_;
  std::map<std::int32_t, TRecordDigest> expected_;
  std::map<std::int32_t, TAlternatives> uncertain_;
  std::vector<TRecordDigest> uncertainInserts_;
  std::uint64_t ops_ = 0, reads_ = 0, refused_ = 0, lockFailures_ = 0, otherErrors_ = 0;
  std::uint64_t lost_ = 0, duplicated_ = 0, killed_ = 0;
  bool workerFailed_ = false;
};

}  // namespace

int RunStress(TCommandContext& context) {
  return TStressRun(context, ParseOptions(context)).Run();
}

// stress-worker TABLE LOG SECONDS SEED: one worker, started by stress.
int RunStressWorker(TCommandContext& context) {
  const auto& args = context.Args;
  if (args.size() != 4) throw EUsageError("stress-worker is started by stress");
  const auto deadline = TClock::now() + std::chrono::duration_cast<TClock::duration>(
                                            std::chrono::duration<double>(std::stod(args[2])));
  TDataFile table;
  PrepareTable(table, context, args[0]);
  // Another worker killed half-way may leave the table unopenable for a
  // moment; keep trying while there is time.
  for (;;) {
    try {
      table.Open();
      break;
    } catch (const EQuireEngineError&) {
      if (TClock::now() >= deadline) return 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  const double left = std::chrono::duration<double>(deadline - TClock::now()).count();
  RunStressWorkerLoop(table, args[1], left, std::stoull(args[3]));
  table.Close();
  return 0;
}

}  // namespace quire::cli
