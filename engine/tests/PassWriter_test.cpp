// Pass writing over long ranges, where the next chunk is generated while the
// current one is written: every byte must land at its own offset.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <random>
#include <vector>

#include "EngineHarness.h"
#include "FlushBehind.h"
#include "PassWriter.h"
#include "SystemRandom.h"

namespace qv::engine::test {
namespace {

TEST(PassWriterTest, PrefetchedChunksLandAtTheirOffsets) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("pass writing on a folder drive");
  std::u16string path = Root(drive) + u"passwriter.bin";
  const uint8_t random[4] = {0, 0x20, 0x20, 0x20};
  const uint8_t sequence[4] = {0, 0x10, 0x20, 0x30};
  const uint64_t from = 7, to = (6 << 20) + 123;
  for (const uint8_t* record : {random, sequence}) {
    PassSeed seed;
    ASSERT_TRUE(NewPassSeed(seed));
    PassSource source(DecodePass(record), seed);
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    AlignedBuffer buffer(1 << 20);
    int ticks = 0;
    WriteOutcome outcome = WritePass(file, source, from, to, buffer, [&](uint64_t) { return ++ticks > 0; }, false);
    CloseHandle(file);
    EXPECT_EQ(WriteEnd::Complete, outcome.end);
    EXPECT_EQ(to - from, outcome.written);
    EXPECT_EQ(7, ticks);
    std::string content;
    ASSERT_TRUE(ReadWholeFile(path, content));
    ASSERT_EQ(to, content.size());
    std::vector<uint8_t> expected(to - from);
    source.Fill(from, expected.data(), expected.size());
    EXPECT_EQ(0, std::memcmp(expected.data(), content.data() + from, expected.size()));
  }
  // A stop between chunks ends the pass with what was written so far.
  PassSource source(DecodePass(random), PassSeed());
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  AlignedBuffer buffer(1 << 20);
  WriteOutcome stopped = WritePass(file, source, 0, to, buffer, [](uint64_t written) { return written < (2 << 20); },
                                   false);
  CloseHandle(file);
  EXPECT_EQ(WriteEnd::Stopped, stopped.end);
  EXPECT_EQ(uint64_t(2 << 20), stopped.written);
  DeleteFileW(reinterpret_cast<const wchar_t*>(path.c_str()));
}

// Random ranges, short and long (long ones are written in chunks larger than
// the given buffer), of every pass kind, some stopped after a random number
// of chunks: the file holds exactly the model's bytes where the pass wrote,
// nothing past what was reported written, and the ticks report the bytes
// written so far, rising, from 0.
TEST(PassWriterTest, RangesMatchTheModelWhateverTheirLength) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("pass writing on a folder drive");
  std::u16string path = Root(drive) + u"passranges.bin";
  const uint8_t random[4] = {0, 0x20, 0x20, 0x20};
  const uint8_t sequence[4] = {0, 0x10, 0x20, 0x30};
  const uint8_t fill[4] = {0, 0xA5, 0, 0};
  std::mt19937 rng(36);
  for (int round = 0; round < 8; ++round) {
    const uint8_t* record = round % 3 == 0 ? random : round % 3 == 1 ? sequence : fill;
    PassSeed seed;
    ASSERT_TRUE(NewPassSeed(seed));
    PassSource source(DecodePass(record), seed);
    uint64_t from = rng() % 5000;
    uint64_t length = round < 4 ? (uint64_t(33) << 20) + rng() % (10u << 20) : 1 + rng() % (3u << 20);
    uint64_t to = from + length;
    int stopAfter = round % 2 ? int(rng() % 4) + 1 : 1 << 30;
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    AlignedBuffer buffer(1 << 20);
    int ticks = 0;
    uint64_t last = 0;
    bool rising = true;
    WriteOutcome outcome = WritePass(file, source, from, to, buffer, [&](uint64_t written) {
      rising = rising && (ticks == 0 ? written == 0 : written > last);
      last = written;
      return ++ticks <= stopAfter;
    }, false);
    CloseHandle(file);
    SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(from) + ".." + std::to_string(to));
    EXPECT_TRUE(rising);
    bool stopped = ticks > stopAfter;
    EXPECT_EQ(stopped ? WriteEnd::Stopped : WriteEnd::Complete, outcome.end);
    if (stopped) EXPECT_EQ(last, outcome.written);
    else EXPECT_EQ(length, outcome.written);
    std::string content;
    ASSERT_TRUE(ReadWholeFile(path, content));
    ASSERT_EQ(from + outcome.written, content.size());
    std::vector<uint8_t> expected(outcome.written);
    source.Fill(from, expected.data(), expected.size());
    EXPECT_EQ(0, std::memcmp(expected.data(), content.data() + from, expected.size()));
  }
  DeleteFileW(reinterpret_cast<const wchar_t*>(path.c_str()));
}

// Every write checked against the pass's bytes at its offset, made apart by a
// source of its own: a fill or a sequence is made once per pass however many
// chunks it takes (chunks of whole periods reuse it), random data once per
// byte.
const PassSource* gExpected = nullptr;
bool gWritesMatched = true;
uint64_t gWriteCount = 0;

bool CheckingWrite(HANDLE, const void* data, DWORD length, uint64_t offset, DWORD& written) {
  std::vector<uint8_t> expected(length);
  gExpected->Fill(offset, expected.data(), length);
  gWritesMatched = gWritesMatched && std::memcmp(expected.data(), data, length) == 0;
  ++gWriteCount;
  written = length;
  return true;
}

TEST(PassWriterTest, RepeatingPassesAreMadeOncePerPass) {
  gWriteAt = CheckingWrite;
  const uint8_t random[4] = {0, 0x20, 0x20, 0x20};
  const uint8_t sequence[4] = {0, 0x92, 0x49, 0x24};
  const uint8_t fill[4] = {0, 0x55, 0, 0};
  std::mt19937 rng(3);
  AlignedBuffer buffer(1 << 20);
  for (int round = 0; round < 12; ++round) {
    const uint8_t* record = round % 3 == 0 ? random : round % 3 == 1 ? sequence : fill;
    PassSeed seed;
    ASSERT_TRUE(NewPassSeed(seed));
    PassSource source(DecodePass(record), seed);
    PassSource model(DecodePass(record), seed);
    gExpected = &model;
    gWritesMatched = true;
    gWriteCount = 0;
    uint64_t from = rng() % 10000;
    uint64_t length = (round < 6 ? 3u << 20 : 41u << 20) + rng() % 100000;
    WriteOutcome outcome = WritePass(nullptr, source, from, from + length, buffer, [](uint64_t) { return true; },
                                     false);
    SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(from) + " + " + std::to_string(length));
    EXPECT_EQ(WriteEnd::Complete, outcome.end);
    EXPECT_EQ(length, outcome.written);
    EXPECT_TRUE(gWritesMatched);
    EXPECT_GT(gWriteCount, 3u);
    if (source.Period() == 0) {
      EXPECT_EQ(length, source.BytesMade());
    } else {
      EXPECT_LE(source.BytesMade(), uint64_t(8) << 20) << "made again for later chunks";
    }
  }
  gWriteAt = SystemWriteAt;
}

// Flushing behind the writer, with the writes and the flushes replaced by
// slow stand-ins that only count: a long pass is flushed while it is being
// written, each flush at least a step after the one before, one at a time,
// and none is under way or begins once the pass has returned, stopped or
// not; a short pass is never flushed behind.
std::atomic<uint64_t> gWrittenSoFar{0};
std::atomic<int> gFlushing{0};
std::atomic<int> gMostAtOnce{0};
std::vector<uint64_t> gFlushedAt;  // gWrittenSoFar at each flush; one flush at a time writes here
const HANDLE kCountedFile = reinterpret_cast<HANDLE>(0x5A5A);

bool SlowCountingWrite(HANDLE file, const void*, DWORD length, uint64_t, DWORD& written) {
  if (file != kCountedFile) return false;
  Sleep(1);
  gWrittenSoFar += length;
  written = length;
  return true;
}

bool SlowRecordingFlush(HANDLE file) {
  int now = ++gFlushing;
  if (now > gMostAtOnce) gMostAtOnce = now;
  if (file == kCountedFile) gFlushedAt.push_back(gWrittenSoFar);
  Sleep(3 + int(gFlushedAt.size() % 4) * 5);
  --gFlushing;
  return true;
}

struct CountedCalls {
  CountedCalls() {
    gWriteAt = SlowCountingWrite;
    gFlushBehind = SlowRecordingFlush;
  }
  ~CountedCalls() {
    gWriteAt = SystemWriteAt;
    gFlushBehind = SystemFlushBehind;
  }
};

TEST(PassWriterTest, LongPassesAreFlushedBehindTheWriterNeverAfter) {
  CountedCalls counted;
  const uint8_t fill[4] = {0, 0xA5, 0, 0};
  PassSource source(DecodePass(fill), PassSeed());
  AlignedBuffer buffer(1 << 20);
  std::mt19937 rng(64);
  for (int round = 0; round < 6; ++round) {
    uint64_t length = round == 0   ? kFlushBehindFrom - 1
                      : round == 1 ? kFlushBehindFrom
                                   : kFlushBehindFrom + rng() % (4 * kFlushBehindStep);
    uint64_t stopAt = round >= 4 ? kFlushBehindStep + rng() % (2 * kFlushBehindStep) : ~uint64_t(0);
    SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(length) + " bytes");
    gWrittenSoFar = 0;
    gMostAtOnce = 0;
    gFlushedAt.clear();
    WriteOutcome outcome = WritePass(kCountedFile, source, 0, length, buffer,
                                     [&](uint64_t written) { return written < stopAt; }, false);
    EXPECT_EQ(0, gFlushing.load()) << "a flush outlasted the pass";
    size_t flushes = gFlushedAt.size();
    Sleep(30);
    EXPECT_EQ(flushes, gFlushedAt.size()) << "a flush began after the pass";
    EXPECT_EQ(stopAt < length ? WriteEnd::Stopped : WriteEnd::Complete, outcome.end);
    EXPECT_LE(gMostAtOnce.load(), 1);
    if (length < kFlushBehindFrom) {
      EXPECT_EQ(0u, flushes);
      continue;
    }
    if (outcome.end == WriteEnd::Complete) {
      EXPECT_GE(flushes, 1u);
    }
    for (size_t i = 0; i < flushes; ++i) {
      EXPECT_GE(gFlushedAt[i], (i + 1) * kFlushBehindStep) << "flush " << i;
      EXPECT_LE(gFlushedAt[i], outcome.written) << "flush " << i;
    }
  }
}

}  // namespace
}  // namespace qv::engine::test
