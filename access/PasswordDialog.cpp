#include "access/PasswordDialog.h"

#include "access/Session.h"

namespace quire {

void TQuirePasswordDialog::Add() {
  session_.RegisterPassword(text_);
  added_ = true;
  text_.clear();
}

void TQuirePasswordDialog::Remove() {
  session_.UnregisterPassword(text_);
  text_.clear();
}

void TQuirePasswordDialog::RemoveAll() {
  session_.ClearPasswords();
}

void TQuirePasswordDialog::Ok() {
  session_.RegisterPassword(text_);
}

}  // namespace quire
