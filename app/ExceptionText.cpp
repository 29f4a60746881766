#include "app/ExceptionText.h"

namespace lyrabook {

QString ExceptionText(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QStringLiteral("Unknown error.");
  }
}

}  // namespace lyrabook
