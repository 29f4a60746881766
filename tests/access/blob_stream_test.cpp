// Blob streams over the Lyric field of the song table: the modes, reading,
// writing, seeking and truncating, the refusals, and what post, cancel and
// freeing the stream do with the value.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "access/BlobStream.h"
#include "access/Table.h"
#include "engine/DatabaseError.h"
#include "engine/EngineError.h"
#include "support/Catalog.h"
#include "support/EngineErrors.h"

namespace quire {
namespace {

using testing::CreateSongTable;
using testing::DatabaseErrorOf;
using testing::DumpTable;
using testing::Raised;
using testing::TCatalogFolder;
using Mode = TBlobStreamMode;

constexpr int kLyric = 4;  // the blob field's number

class BlobStreamTest : public ::testing::Test {
 protected:
  BlobStreamTest() {
    CreateSongTable(folder_.Path("Song.DAT"));
    table_.SetDatabaseName(folder_.Name());
    table_.SetTableName("Song.DAT");
    table_.Open();
  }

  TField& Lyric() { return table_.FieldByName("Lyric"); }

  std::unique_ptr<TQuireBlobStream> Stream(Mode mode) {
    return table_.CreateBlobStream(Lyric(), mode);
  }

  // Appends a song whose lyric is `lyric`, written through a stream.
  void AppendSong(const std::string& code, const std::string& lyric) {
    table_.Append();
    table_.FieldByName("Code").SetAsString(code);
    {
      const auto stream = Stream(Mode::Write);
      EXPECT_EQ(stream->Write(lyric.data(), lyric.size()), lyric.size());
    }
    table_.Post();
  }

  // The whole lyric of the current record, read through a read stream.
  std::string ReadAll() {
    const auto stream = Stream(Mode::Read);
    std::string bytes(static_cast<std::size_t>(stream->Size()), '\0');
    EXPECT_EQ(stream->Read(bytes.data(), bytes.size()), bytes.size());
    return bytes;
  }

  // The Lyric of each record as quire dump prints it, in code order.
  std::vector<std::string> DumpedLyrics() {
    std::vector<std::string> lyrics;
    for (const nlohmann::json& row : DumpTable(folder_.Path("Song.DAT")))
      lyrics.push_back(row["Lyric"].is_null() ? "" : row["Lyric"].get<std::string>());
    return lyrics;
  }

  bool BlobOpen() { return table_.EngineTable()->BlobIsOpen(kLyric, table_.ActiveBuffer()); }

  TCatalogFolder folder_;
  TQuireTable table_;
};

TEST_F(BlobStreamTest, WhatAWriteStreamWritesIsStoredByThePostAndReadBack) {
  table_.Append();
  table_.FieldByName("Code").SetAsString("S1");
  {
    const auto stream = Stream(Mode::Write);
    EXPECT_TRUE(stream->Opened());
    EXPECT_EQ(stream->Write("Hello, ", 7), 7u);
    EXPECT_EQ(stream->Write("world", 5), 5u);
    EXPECT_EQ(stream->Position(), 12);
    EXPECT_EQ(stream->Size(), 12);
  }
  EXPECT_TRUE(BlobOpen());  // changed in this edit: kept open until the post
  table_.Post();
  EXPECT_EQ(ReadAll(), "Hello, world");
  EXPECT_FALSE(BlobOpen());  // a read stream closes what it opened
  table_.Close();
  EXPECT_EQ(DumpedLyrics(), (std::vector<std::string>{"Hello, world"}));
}

TEST_F(BlobStreamTest, AValueOfManyBlocksComesBackWhole) {
  std::string lyric;
  for (int line = 0; lyric.size() < 5000; ++line) lyric += "line " + std::to_string(line) + "\n";
  AppendSong("S1", lyric);
  AppendSong("S2", "short");
  table_.First();
  EXPECT_EQ(ReadAll(), lyric);
  table_.Close();
  EXPECT_EQ(DumpedLyrics(), (std::vector<std::string>{lyric, "short"}));
}

TEST_F(BlobStreamTest, WriteModeEmptiesTheBlobAndReadWriteKeepsIt) {
  AppendSong("S1", "abcdef");
  table_.Edit();
  {
    const auto stream = Stream(Mode::ReadWrite);
    EXPECT_EQ(stream->Size(), 6);
    EXPECT_EQ(stream->Seek(0, TSeekOrigin::End), 6);
    EXPECT_EQ(stream->Write("!", 1), 1u);
    EXPECT_EQ(stream->Seek(0, TSeekOrigin::Beginning), 0);
    char bytes[16] = {};
    EXPECT_EQ(stream->Read(bytes, sizeof bytes), 7u);  // fewer at the end
    EXPECT_EQ(std::string(bytes, 7), "abcdef!");
  }
  table_.Post();
  EXPECT_EQ(ReadAll(), "abcdef!");

  table_.Edit();
  {
    const auto stream = Stream(Mode::Write);
    EXPECT_EQ(stream->Size(), 0);  // emptied at once
    stream->Write("xy", 2);
  }
  table_.Post();
  EXPECT_EQ(ReadAll(), "xy");
  table_.Close();
  EXPECT_EQ(DumpedLyrics(), (std::vector<std::string>{"xy"}));
}

TEST_F(BlobStreamTest, SeekingReadingPastTheEndAndTruncating) {
  AppendSong("S1", "0123456789");
  {
    const auto stream = Stream(Mode::Read);
    EXPECT_EQ(stream->Seek(3, TSeekOrigin::Beginning), 3);
    EXPECT_EQ(stream->Seek(2, TSeekOrigin::Current), 5);
    EXPECT_EQ(stream->Seek(-4, TSeekOrigin::End), 6);
    char bytes[10] = {};
    EXPECT_EQ(stream->Read(bytes, 10), 4u);  // the engine's end-of-blob code is no failure
    EXPECT_EQ(std::string(bytes, 4), "6789");
    EXPECT_EQ(stream->Position(), 10);
    EXPECT_EQ(stream->Read(bytes, 10), 0u);  // at the end
    EXPECT_EQ(stream->Seek(50, TSeekOrigin::Beginning), 50);
    EXPECT_EQ(stream->Read(bytes, 10), 0u);                  // past the end
    EXPECT_EQ(stream->Seek(-100, TSeekOrigin::Current), 0);  // no position before the start
  }
  table_.Edit();
  {
    const auto stream = Stream(Mode::ReadWrite);
    stream->Seek(4, TSeekOrigin::Beginning);
    stream->Truncate();
    EXPECT_EQ(stream->Size(), 4);
    // Writing past the end grows the value.
    stream->Seek(6, TSeekOrigin::Beginning);
    stream->Write("Z", 1);
    EXPECT_EQ(stream->Size(), 7);
  }
  table_.Post();
  const std::string stored = ReadAll();
  ASSERT_EQ(stored.size(), 7u);
  EXPECT_EQ(stored.substr(0, 4), "0123");
  EXPECT_EQ(stored[6], 'Z');
}

TEST_F(BlobStreamTest, CancelDropsWhatTheStreamsWrote) {
  AppendSong("S1", "keep me");
  table_.Edit();
  {
    const auto stream = Stream(Mode::Write);
    stream->Write("gone", 4);
  }
  table_.Cancel();
  EXPECT_EQ(ReadAll(), "keep me");

  // Cancelled while the stream is still open: the stream closes itself and
  // its freeing touches nothing.
  table_.Edit();
  auto stream = Stream(Mode::ReadWrite);
  stream->Write("XX", 2);
  table_.Cancel();
  EXPECT_FALSE(stream->Opened());
  EXPECT_EQ(stream->Write("YY", 2), 0u);
  EXPECT_EQ(stream->Size(), 0);
  stream.reset();
  EXPECT_EQ(table_.State(), TDataSetState::Browse);
  EXPECT_EQ(ReadAll(), "keep me");
  table_.Close();
  EXPECT_EQ(DumpedLyrics(), (std::vector<std::string>{"keep me"}));
}

TEST_F(BlobStreamTest, APostWhileAStreamIsOpenStoresWhatItWrote) {
  AppendSong("S1", "old");
  table_.Edit();
  auto stream = Stream(Mode::Write);
  stream->Write("new", 3);
  table_.Post();
  EXPECT_FALSE(stream->Opened());
  stream.reset();
  EXPECT_EQ(ReadAll(), "new");
  // The next edit starts with nothing changed: the checks of a first
  // stream apply again.
  table_.Edit();
  Lyric().SetReadOnly(true);
  EXPECT_EQ(DatabaseErrorOf([&] { Stream(Mode::Write); }), "Field 'Lyric' cannot be modified");
  Lyric().SetReadOnly(false);
  table_.Cancel();
  EXPECT_EQ(ReadAll(), "new");
}

TEST_F(BlobStreamTest, AStreamThatDidNotWriteLeavesTheFieldUnchanged) {
  AppendSong("S1", "as it was");
  table_.Edit();
  {
    const auto stream = Stream(Mode::ReadWrite);
    EXPECT_TRUE(BlobOpen());
  }
  // Not written: the field is not changed, so the engine closed the blob.
  EXPECT_FALSE(BlobOpen());
  // A read stream on a changed field leaves it open for the post.
  {
    const auto writer = Stream(Mode::Write);
    writer->Write("changed", 7);
  }
  {
    const auto reader = Stream(Mode::Read);
    char bytes[7];
    EXPECT_EQ(reader->Read(bytes, 7), 7u);
    EXPECT_EQ(std::string(bytes, 7), "changed");
  }
  EXPECT_TRUE(BlobOpen());
  table_.Post();
  EXPECT_EQ(ReadAll(), "changed");
}

TEST_F(BlobStreamTest, ControlsHearOfAWrittenFieldAndTheirErrorsGoToOnError) {
  AppendSong("S1", "x");
  std::vector<const TField*> changed;
  bool fail = false;
  table_.AttachControl([&](TDataEvent event, const TField* field) {
    if (event != TDataEvent::FieldChange) return;
    changed.push_back(field);
    if (fail) throw std::runtime_error("the control broke");
  });
  std::vector<std::string> reported;
  table_.OnError = [&](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      reported.push_back(e.what());
    }
  };
  table_.Edit();
  Stream(Mode::ReadWrite).reset();  // nothing written: no news
  EXPECT_TRUE(changed.empty());
  {
    const auto stream = Stream(Mode::ReadWrite);
    stream->Write("y", 1);
    EXPECT_TRUE(changed.empty());  // told when the stream is freed
  }
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0], &Lyric());
  fail = true;
  Stream(Mode::Write).reset();  // write mode has written: it emptied the blob
  EXPECT_EQ(changed.size(), 2u);
  EXPECT_EQ(reported, (std::vector<std::string>{"the control broke"}));
  table_.Post();  // the failed notice changed nothing of the record
  EXPECT_EQ(ReadAll(), "");
}

TEST_F(BlobStreamTest, RefusalsAndClosedStreams) {
  // An empty table has no current record: the stream stays closed.
  {
    const auto stream = Stream(Mode::Read);
    EXPECT_FALSE(stream->Opened());
    char byte = 0;
    EXPECT_EQ(stream->Read(&byte, 1), 0u);
    EXPECT_EQ(stream->Size(), 0);
  }
  AppendSong("S1", "text");

  // The write modes outside edit and insert, or on a read-only field.
  for (const Mode mode : {Mode::Write, Mode::ReadWrite}) {
    EXPECT_EQ(DatabaseErrorOf([&] { Stream(mode); }), "Dataset not in edit or insert mode");
  }
  table_.Edit();
  Lyric().SetReadOnly(true);
  EXPECT_EQ(DatabaseErrorOf([&] { Stream(Mode::ReadWrite); }), "Field 'Lyric' cannot be modified");
  EXPECT_FALSE(BlobOpen());  // refused before the engine opened anything
  Lyric().SetReadOnly(false);

  // A read stream writes nothing, in any state.
  {
    const auto stream = Stream(Mode::Read);
    EXPECT_EQ(DatabaseErrorOf([&] { stream->Write("no", 2); }), "Field 'Lyric' cannot be modified");
    EXPECT_EQ(DatabaseErrorOf([&] { stream->Truncate(); }), "Field 'Lyric' cannot be modified");
  }
  table_.Cancel();
  EXPECT_EQ(ReadAll(), "text");

  // A field that is no blob: the engine refuses it.
  const testing::TRaised raised =
      Raised([&] { TQuireBlobStream stream(table_, table_.FieldByName("Name"), Mode::Read); });
  EXPECT_EQ(raised.code, err::InvalidBlobField);
  EXPECT_NE(raised.message.find("Song.DAT"), std::string::npos) << raised.message;

  // A field of another dataset.
  TQuireTable other;
  other.SetDatabaseName(folder_.Name());
  other.SetTableName("Song.DAT");
  other.Open();
  EXPECT_EQ(DatabaseErrorOf(
                [&] { TQuireBlobStream stream(table_, other.FieldByName("Lyric"), Mode::Read); }),
            "Field 'Lyric' not found");

  // A dataset that closes first leaves the stream closed.
  auto reader = other.CreateBlobStream(other.FieldByName("Lyric"), Mode::Read);
  EXPECT_TRUE(reader->Opened());
  other.Close();
  EXPECT_FALSE(reader->Opened());
  char byte = 0;
  EXPECT_EQ(reader->Read(&byte, 1), 0u);
}

}  // namespace
}  // namespace quire
