#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <memory>
#include <thread>

#include "app/Application.h"

namespace lyrabook::test {

namespace {

// One application object for the whole test program, as in the real one.
class TQtEnvironment final : public testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    application_ = std::make_unique<TApplication>(argc_, argv_, ApplicationErrors());
  }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[10] = "app_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<TApplication> application_;
};

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new TQtEnvironment);

}  // namespace

TRecordingPresenter& ApplicationErrors() {
  static TRecordingPresenter presenter;
  return presenter;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void PumpFor(std::chrono::milliseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  PumpUntil([end] { return std::chrono::steady_clock::now() >= end; }, span * 2);
}

void TGate::Pass() {
  std::unique_lock lock(mutex_);
  entered_ = true;
  opened_.wait(lock, [this] { return open_; });
}

void TGate::Open() {
  {
    std::lock_guard lock(mutex_);
    open_ = true;
  }
  opened_.notify_all();
}

bool TGate::Entered() const {
  std::lock_guard lock(mutex_);
  return entered_;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size());
}

QString Canonical(const QString& path) {
  return QFileInfo(path).canonicalFilePath();
}

}  // namespace lyrabook::test
