#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <stdexcept>

#include "app/InOutError.h"
#include "support/TestSupport.h"

namespace lyrabook {
namespace {

using test::ApplicationErrors;
using test::PumpUntil;

// Throws from its event handler for user events; counts the others.
class TThrowingObject : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw EInOutError(5, "Cannot read 10001.txt");
    if (event->type() == QEvent::Type(QEvent::User + 1)) throw 7;
    if (event->type() == QEvent::Type(QEvent::User + 2)) ++delivered;
    return QObject::event(event);
  }
  int delivered = 0;
};

TEST(Application, TitleIsLyrabook) {
  EXPECT_EQ(QCoreApplication::applicationName(), "Lyrabook");
}

TEST(Application, AnExceptionReachingTheEventLoopIsShownAndTheProgramGoesOn) {
  ApplicationErrors().boxes.clear();
  TThrowingObject object;

  QEvent failing(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&object, &failing));
  ASSERT_EQ(ApplicationErrors().Errors(), std::vector<QString>{"Cannot read 10001.txt"});
  EXPECT_TRUE(ApplicationErrors().boxes.front().onWindowThread);

  // A posted event that throws goes the same way, from inside the event loop.
  QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
  ASSERT_TRUE(PumpUntil([] { return ApplicationErrors().boxes.size() == 2; }));

  // Something thrown that is not a std::exception still gets a box.
  QEvent odd(QEvent::Type(QEvent::User + 1));
  QCoreApplication::sendEvent(&object, &odd);
  EXPECT_EQ(
      ApplicationErrors().Errors(),
      (std::vector<QString>{"Cannot read 10001.txt", "Cannot read 10001.txt", "Unknown error."}));

  // And the next event is delivered as usual.
  QEvent fine(QEvent::Type(QEvent::User + 2));
  QCoreApplication::sendEvent(&object, &fine);
  EXPECT_EQ(object.delivered, 1);
  EXPECT_TRUE(ApplicationErrors().Messages().empty());
  ApplicationErrors().boxes.clear();
}

}  // namespace
}  // namespace lyrabook
