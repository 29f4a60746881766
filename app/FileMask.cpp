#include "app/FileMask.h"

#include <QList>

namespace lyrabook {

namespace {

QChar FoldAscii(QChar c) {
  const char16_t u = c.unicode();
  return (u >= u'A' && u <= u'Z') ? QChar(char16_t(u + (u'a' - u'A'))) : c;
}

// Greedy matching with one backtrack point: on a mismatch after a '*', that
// '*' takes one more character. Linear in practice, and never recursive, so
// a mask of many stars cannot blow the stack.
bool MatchesPattern(QStringView name, QStringView pattern) {
  qsizetype n = 0;
  qsizetype p = 0;
  qsizetype starAt = -1;
  qsizetype resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starAt = p++;
      resumeAt = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starAt >= 0) {
      p = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesFileMask(const QString& name, const QString& mask) {
  for (QStringView pattern : QStringView(mask).split(u';')) {
    if (!pattern.isEmpty() && MatchesPattern(name, pattern)) return true;
  }
  return false;
}

}  // namespace lyrabook
