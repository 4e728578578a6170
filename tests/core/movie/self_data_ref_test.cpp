#include "core/movie/self_data_ref.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/util/byte_order.h"

using namespace fw;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Atom(const char* type, const Bytes& payload) {
  Bytes out(8);
  StoreBE32(out.data(), static_cast<uint32_t>(8 + payload.size()));
  std::memcpy(out.data() + 4, type, 4);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A data reference atom of `size` bytes holding one 'alis' entry with an
// alias-like payload (flags 0).
Bytes DataRef(size_t size) {
  Bytes payload(size - 8, 0xA5);
  StoreBE32(payload.data(), 0);      // version, flags
  StoreBE32(payload.data() + 4, 1);  // one entry
  StoreBE32(payload.data() + 8, static_cast<uint32_t>(size - 16));
  std::memcpy(payload.data() + 12, "alis", 4);
  StoreBE32(payload.data() + 16, 0);  // entry flags 0: an alias record follows
  return Atom("dref", payload);
}

Bytes Track(const Bytes& dref) {
  const Bytes stbl = Atom("stbl", Atom("stco", Bytes(8, 0x11)));
  return Atom("trak", Cat({Atom("tkhd", Bytes(84, 0x22)),
                           Atom("mdia", Cat({Atom("mdhd", Bytes(24, 0x33)),
                                             Atom("minf", Cat({Atom("vmhd", Bytes(12, 0x44)),
                                                               Atom("dinf", dref), stbl}))}))}));
}

Bytes Movie(std::initializer_list<Bytes> tracks) {
  Bytes payload = Atom("mvhd", Bytes(100, 0x55));
  for (const Bytes& t : tracks) payload.insert(payload.end(), t.begin(), t.end());
  payload = Cat({payload, Atom("udta", Bytes(12, 0x66))});
  return Atom("moov", payload);
}

size_t Find(const Bytes& b, const char* type, size_t from = 0) {
  for (size_t i = from; i + 4 <= b.size(); ++i)
    if (std::memcmp(b.data() + i, type, 4) == 0) return i;
  return std::string::npos;
}

uint32_t SizeOf(const Bytes& b, const char* type, size_t from = 0) {
  return LoadBE32(b.data() + Find(b, type, from) - 4);
}

TEST(SetMovieDataRefToSelfTest, LongDataReferenceShrinksEveryEnclosingAtom) {
  Bytes movie = Movie({Track(DataRef(200))});
  const Bytes before = movie;
  SetMovieDataRefToSelf(&movie);

  ASSERT_EQ(movie.size(), before.size() - 172);
  for (const char* type : {"moov", "trak", "mdia", "minf", "dinf"})
    EXPECT_EQ(SizeOf(movie, type), SizeOf(before, type) - 172) << type;
  const size_t dref = Find(movie, "dref") - 4;
  EXPECT_EQ(0, std::memcmp(movie.data() + dref, kSelfDataRefAtom, kSelfDataRefSizeBytes));
  // What followed the old data reference now follows the new one, intact.
  const size_t oldTail = Find(before, "stbl") - 4;
  EXPECT_EQ(Bytes(movie.begin() + dref + 28, movie.end()), Bytes(before.begin() + oldTail, before.end()));
  // Ahead of the data reference only the five sizes changed.
  Bytes expected(before.begin(), before.begin() + dref);
  for (const char* type : {"moov", "trak", "mdia", "minf", "dinf"}) {
    const size_t at = Find(before, type) - 4;
    StoreBE32(expected.data() + at, LoadBE32(expected.data() + at) - 172);
  }
  EXPECT_EQ(Bytes(movie.begin(), movie.begin() + dref), expected);
}

TEST(SetMovieDataRefToSelfTest, DataReferenceOf28BytesIsOverwrittenInPlace) {
  Bytes movie = Movie({Track(DataRef(28))});
  const Bytes before = movie;
  SetMovieDataRefToSelf(&movie);
  ASSERT_EQ(movie.size(), before.size());
  const size_t dref = Find(movie, "dref") - 4;
  EXPECT_EQ(0, std::memcmp(movie.data() + dref, kSelfDataRefAtom, kSelfDataRefSizeBytes));
  for (size_t i = 0; i < movie.size(); ++i)
    if (i < dref || i >= dref + 28) {
      ASSERT_EQ(movie[i], before[i]) << "byte " << i;
    }
}

TEST(SetMovieDataRefToSelfTest, EveryTrackIsRewritten) {
  Bytes movie = Movie({Track(DataRef(120)), Track(DataRef(64))});
  const size_t before = movie.size();
  SetMovieDataRefToSelf(&movie);
  ASSERT_EQ(movie.size(), before - 92 - 36);
  EXPECT_EQ(SizeOf(movie, "moov"), movie.size());
  const size_t first = Find(movie, "dref") - 4;
  const size_t second = Find(movie, "dref", first + 8) - 4;
  ASSERT_NE(second + 4, std::string::npos);
  EXPECT_EQ(0, std::memcmp(movie.data() + first, kSelfDataRefAtom, 28));
  EXPECT_EQ(0, std::memcmp(movie.data() + second, kSelfDataRefAtom, 28));
}

TEST(SetMovieDataRefToSelfTest, MalformedBlocksComeBackUnchanged) {
  SetMovieDataRefToSelf(nullptr);  // must not crash

  const Bytes good = Movie({Track(DataRef(200))});
  std::vector<Bytes> bad;
  Bytes tooBig = good;
  StoreBE32(tooBig.data(), static_cast<uint32_t>(good.size() + 1));
  bad.push_back(tooBig);
  Bytes notMovie = good;
  notMovie[7] = 'f';  // 'moof'
  bad.push_back(notMovie);
  Bytes tiny = good;
  StoreBE32(tiny.data(), 11);
  bad.push_back(tiny);
  bad.push_back(Bytes(good.begin(), good.begin() + 7));
  bad.push_back(Bytes());
  for (const Bytes& b : bad) {
    Bytes copy = b;
    SetMovieDataRefToSelf(&copy);
    EXPECT_EQ(copy, b);
  }
}

TEST(SetMovieDataRefToSelfTest, TracksThatDoNotNestAreSkipped) {
  // The first track's media claims more than its track holds; the second
  // track's data reference is too short to hold ours. Both stay as they
  // are, and the well-formed third track is still rewritten.
  Bytes broken = Track(DataRef(200));
  const size_t mdia = Find(broken, "mdia") - 4;
  StoreBE32(broken.data() + mdia, LoadBE32(broken.data() + mdia) + 1000);
  const Bytes shortRef = Track(Atom("dref", Bytes(12, 0)));
  Bytes movie = Movie({broken, shortRef, Track(DataRef(100))});
  const size_t before = movie.size();
  SetMovieDataRefToSelf(&movie);
  ASSERT_EQ(movie.size(), before - 72);
  EXPECT_EQ(SizeOf(movie, "dref"), 200u);
  const size_t second = Find(movie, "dref", Find(movie, "dref") + 4);
  EXPECT_EQ(LoadBE32(movie.data() + second - 4), 20u);
  const size_t third = Find(movie, "dref", second + 4) - 4;
  EXPECT_EQ(0, std::memcmp(movie.data() + third, kSelfDataRefAtom, 28));
}

TEST(SetMovieDataRefToSelfTest, TrackRunningPastTheMovieEndsTheScan) {
  Bytes first = Track(DataRef(200));
  StoreBE32(first.data(), LoadBE32(first.data()) + 5000);
  Bytes movie = Movie({first, Track(DataRef(200))});
  const Bytes before = movie;
  SetMovieDataRefToSelf(&movie);
  EXPECT_EQ(movie, before);
}

TEST(SetMovieDataRefToSelfTest, BlockEndsWhereTheMovieAtomEnds) {
  Bytes movie = Movie({Track(DataRef(28))});
  const size_t size = movie.size();
  movie.resize(size + 40, 0xEE);
  SetMovieDataRefToSelf(&movie);
  EXPECT_EQ(movie.size(), size);
}

}  // namespace
