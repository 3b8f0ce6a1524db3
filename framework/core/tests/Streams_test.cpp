#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/MemoryStream.h"
#include "core/StringStream.h"

namespace {

std::string Bytes(TMemoryStream& stream) {
  return std::string(static_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

TEST(MemoryStream, ReadsAreShortAtTheEnd) {
  TMemoryStream stream;
  stream.WriteBuffer("hello", 5);
  char buffer[8] = {};
  EXPECT_EQ(stream.Read(buffer, 4), 0);  // at the end
  stream.SetPosition(3);
  EXPECT_EQ(stream.Read(buffer, 8), 2);
  EXPECT_EQ(std::string(buffer, 2), "lo");
  EXPECT_EQ(stream.Read(buffer, 0), 0);
  EXPECT_EQ(stream.Read(buffer, -1), 0);
  EXPECT_EQ(stream.Write(buffer, 0), 0);
  EXPECT_EQ(stream.Write(buffer, -3), 0);
  stream.SetPosition(0);
  stream.ReadBuffer(buffer, 0);  // zero bytes are never an error
  EXPECT_THROW(stream.ReadBuffer(buffer, 6), EReadError);
  try {
    stream.SetPosition(0);
    stream.ReadBuffer(buffer, 6);
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
}

struct SeekCase {
  int64_t start;
  int64_t offset;
  TSeekOrigin origin;
  int64_t expected;  // -1: refused, position stays at start
};

TEST(MemoryStream, SeekTable) {
  const SeekCase cases[] = {
      {2, 0, soCurrent, 2},        {2, 1, soBeginning, 1},  {2, -2, soCurrent, 0},
      {2, -3, soCurrent, -1},      {2, -1, soBeginning, -1}, {2, 0, soEnd, 10},
      {2, -10, soEnd, 0},          {2, -11, soEnd, -1},      {2, 5, soEnd, 15},
      {2, INT64_MAX, soCurrent, -1}, {2, INT64_MAX, soBeginning, INT64_MAX},
  };
  for (const auto& c : cases) {
    TMemoryStream stream;
    stream.SetSize(10);
    stream.SetPosition(c.start);
    int64_t result = stream.Seek(c.offset, c.origin);
    EXPECT_EQ(result, c.expected) << c.offset << " from " << c.origin;
    EXPECT_EQ(stream.Position(), c.expected < 0 ? c.start : c.expected);
    EXPECT_EQ(stream.Size(), 10);
  }
}

TEST(MemoryStream, WritePastTheEndFillsWithZeros) {
  TMemoryStream stream;
  stream.WriteBuffer("ab", 2);
  stream.Seek(3, soEnd);
  EXPECT_EQ(stream.Size(), 2);
  char buffer[4];
  EXPECT_EQ(stream.Read(buffer, 4), 0);
  stream.WriteBuffer("cd", 2);
  EXPECT_EQ(Bytes(stream), std::string("ab\0\0\0cd", 7));
}

TEST(MemoryStream, SizeChangesKeepDataAndZeroNewBytes) {
  TMemoryStream stream;
  stream.WriteBuffer("abcdef", 6);
  stream.SetSize(3);
  EXPECT_EQ(stream.Position(), 3);  // moved back to the new end
  EXPECT_EQ(Bytes(stream), "abc");
  stream.SetPosition(1);
  stream.SetSize(5);
  EXPECT_EQ(stream.Position(), 1);
  // The cut-off bytes must not come back.
  EXPECT_EQ(Bytes(stream), std::string("abc\0\0", 5));
  stream.SetSize(-1);
  EXPECT_EQ(stream.Size(), 5);
  stream.Clear();
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(stream.Memory(), nullptr);
}

TEST(MemoryStream, CapacityDoubles) {
  TMemoryStream stream;
  std::vector<int64_t> capacities;
  std::string chunk(100, 'x');
  for (int i = 0; i < 100; ++i) {
    stream.WriteBuffer(chunk.data(), 100);
    if (capacities.empty() || capacities.back() != stream.Capacity()) capacities.push_back(stream.Capacity());
  }
  EXPECT_EQ(stream.Size(), 10000);
  for (size_t i = 1; i < capacities.size(); ++i) EXPECT_EQ(capacities[i], 2 * capacities[i - 1]);
  EXPECT_LE(capacities.size(), 8u);
}

TEST(MemoryStream, WriteFromItsOwnBlockSurvivesGrowth) {
  TMemoryStream stream;
  std::string text(300, 'q');
  stream.WriteBuffer(text.data(), 256);
  stream.SetCapacity(256);
  // The source lies inside the block that the write must grow.
  stream.WriteBuffer(stream.Memory(), 256);
  EXPECT_EQ(stream.Size(), 512);
  EXPECT_EQ(Bytes(stream), std::string(512, 'q'));
}

TEST(MemoryStream, CopyFromCounts) {
  TStringStream source("0123456789");
  TMemoryStream dest;
  source.SetPosition(7);
  EXPECT_EQ(dest.CopyFrom(&source, 0), 10);  // whole source, from its start
  EXPECT_EQ(Bytes(dest), "0123456789");
  source.SetPosition(2);
  EXPECT_EQ(dest.CopyFrom(&source, 3), 3);
  EXPECT_EQ(Bytes(dest), "0123456789234");
  EXPECT_EQ(source.Position(), 5);
  EXPECT_THROW(dest.CopyFrom(&source, 6), EReadError);
  EXPECT_THROW(dest.CopyFrom(&source, -1), EReadError);
  TStringStream empty;
  EXPECT_EQ(dest.CopyFrom(&empty, 0), 0);
  // Larger than one internal chunk.
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  TStringStream bigSource(big);
  TMemoryStream bigDest;
  EXPECT_EQ(bigDest.CopyFrom(&bigSource, 0), 200000);
  EXPECT_EQ(Bytes(bigDest), big);
}

TEST(MemoryStream, LoadAndSaveWholeStreams) {
  TStringStream source("payload");
  source.SetPosition(4);
  TMemoryStream stream;
  stream.LoadFromStream(&source);
  EXPECT_EQ(Bytes(stream), "payload");
  EXPECT_EQ(stream.Position(), 0);
  stream.SetPosition(5);
  TStringStream out;
  stream.SaveToStream(&out);
  EXPECT_EQ(out.DataString(), "payload");
  stream.LoadFromStream(&stream);
  EXPECT_EQ(Bytes(stream), "payload");
}

TEST(StringStream, BehavesLikeAMemoryStream) {
  TStringStream stream("abc");
  EXPECT_EQ(stream.ReadString(2), "ab");
  stream.WriteString("XYZ");
  EXPECT_EQ(stream.DataString(), "abXYZ");
  stream.Seek(2, soEnd);
  stream.WriteString("!");
  EXPECT_EQ(stream.DataString(), std::string("abXYZ\0\0!", 8));
  stream.SetSize(2);
  EXPECT_EQ(stream.Position(), 2);
  EXPECT_EQ(stream.ReadString(5), "");
  EXPECT_EQ(stream.Seek(-1, soBeginning), -1);
  EXPECT_EQ(stream.Position(), 2);
  EXPECT_THROW(stream.WriteBuffer("x", -1), EWriteError);
}

TEST(CustomMemoryStream, WritesNothing) {
  struct View : TCustomMemoryStream {
    explicit View(const char* text) { SetPointer(const_cast<char*>(text), static_cast<int64_t>(std::strlen(text))); }
  };
  View view("fixed");
  EXPECT_EQ(view.Write("x", 1), 0);
  EXPECT_THROW(view.WriteBuffer("x", 1), EWriteError);
  char buffer[5];
  view.ReadBuffer(buffer, 5);
  EXPECT_EQ(std::string(buffer, 5), "fixed");
}

}  // namespace
