// SPDX-License-Identifier: GPL-3.0-or-later
// Encoding and decoding of the volume layout described in docs/format.md.
// Every integer goes through PutU32/PutU64/GetU32/GetU64, byte by byte, so
// the result does not depend on the host's byte order or struct layout.
#include "engine/format/format.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace tarvel {

void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutU64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

std::uint64_t GetU64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

VolumeKind RecogniseVolume(std::span<const std::uint8_t> head) {
  static constexpr std::uint8_t kMagic[4] = {'P', 'A', 'R', 0};
  if (head.size() < std::size(kMagic) ||
      !std::equal(std::begin(kMagic), std::end(kMagic), head.begin())) {
    return VolumeKind::kNotVolume;
  }
  if (head.size() < kOffVersion + 4) return VolumeKind::kUnknownVersion;
  const std::uint32_t version = GetU32(head.data() + kOffVersion);
  return version == kFormatVersion10 || version == kFormatVersion09 ? VolumeKind::kVolume
                                                                    : VolumeKind::kUnknownVersion;
}

namespace {

void PutDigest(std::uint8_t* p, const md5digest& d) { std::copy(d.begin(), d.end(), p); }

md5digest GetDigest(const std::uint8_t* p) {
  md5digest d;
  std::copy(p, p + d.size(), d.begin());
  return d;
}

// Appends the UTF-8 form of code point `cp` (at most U+10FFFF) to `out`.
void AppendUtf8(std::string& out, std::uint32_t cp) {
  auto put = [&out](std::uint32_t b) { out.push_back(static_cast<char>(b)); };
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | (cp >> 6));
    put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | (cp >> 12));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | (cp >> 18));
    put(0x80 | ((cp >> 12) & 0x3F));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  }
}

// Decodes one well-formed UTF-8 sequence at s[i]; returns its length and sets
// `cp`, or returns 0 when the bytes there are not valid UTF-8 (stray
// continuation byte, truncated or overlong sequence, encoded surrogate, or a
// value above U+10FFFF).
std::size_t DecodeUtf8(const std::string& s, std::size_t i, std::uint32_t& cp) {
  const auto byte = [&s](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const std::uint8_t b0 = byte(i);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len;
  std::uint32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, min = 0x80, cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, min = 0x800, cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (s.size() - i < len) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const std::uint8_t b = byte(i + k);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::array<std::uint8_t, kHeaderSize> EncodeHeader(const VolumeHeader& h) {
  std::array<std::uint8_t, kHeaderSize> b{};
  std::copy(h.magic.begin(), h.magic.end(), b.begin() + kOffMagic);
  PutU32(&b[kOffVersion], h.version);
  PutU32(&b[kOffGenerator], h.generator);
  PutDigest(&b[kOffControl], h.control);
  PutDigest(&b[kOffSetHash], h.setHash);
  PutU64(&b[kOffVolumeNumber], h.volumeNumber);
  PutU64(&b[kOffFileCount], h.fileCount);
  PutU64(&b[kOffFileListOffset], h.fileListOffset);
  PutU64(&b[kOffFileListSize], h.fileListSize);
  PutU64(&b[kOffDataOffset], h.dataOffset);
  PutU64(&b[kOffDataSize], h.dataSize);
  return b;
}

VolumeHeader DecodeHeader(std::span<const std::uint8_t, kHeaderSize> b) {
  VolumeHeader h;
  std::copy(b.begin() + kOffMagic, b.begin() + kOffMagic + h.magic.size(), h.magic.begin());
  h.version = GetU32(&b[kOffVersion]);
  h.generator = GetU32(&b[kOffGenerator]);
  h.control = GetDigest(&b[kOffControl]);
  h.setHash = GetDigest(&b[kOffSetHash]);
  h.volumeNumber = GetU64(&b[kOffVolumeNumber]);
  h.fileCount = GetU64(&b[kOffFileCount]);
  h.fileListOffset = GetU64(&b[kOffFileListOffset]);
  h.fileListSize = GetU64(&b[kOffFileListSize]);
  h.dataOffset = GetU64(&b[kOffDataOffset]);
  h.dataSize = GetU64(&b[kOffDataSize]);
  return h;
}

std::u16string NameToUtf16(const std::string& name) {
  std::u16string units;
  units.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    std::uint32_t cp = 0;
    const std::size_t len = DecodeUtf8(name, i, cp);
    if (len == 0) {
      // Not UTF-8: the byte (always 0x80 or above) as a lone low surrogate,
      // which no UTF-8 text can give, so the name reads back as these bytes.
      units.push_back(static_cast<char16_t>(kEscapedByteBase + static_cast<std::uint8_t>(name[i])));
      ++i;
      continue;
    }
    if (cp < 0x10000) {
      units.push_back(static_cast<char16_t>(cp));
    } else {
      cp -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
    i += len;
  }
  return units;
}

std::string NameFromUtf16(const std::u16string& units) {
  std::string name;
  name.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const std::uint32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      AppendUtf8(name, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00u));
      ++i;
    } else if (u >= kEscapedByteBase + 0x80 && u <= kEscapedByteBase + 0xFF) {
      name.push_back(static_cast<char>(u - kEscapedByteBase));  // a byte that was not UTF-8
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(name, 0xFFFD);  // any other unpaired surrogate
    } else {
      AppendUtf8(name, u);
    }
  }
  return name;
}

std::int64_t EntrySizeFor(const std::string& name) {
  return kEntryFixedSize + 2 * static_cast<std::int64_t>(NameToUtf16(name).size());
}

void AppendEntry(std::vector<std::uint8_t>& out, const fileentry& e) {
  // The size field is derived from the name actually written, so an entry
  // is always self-consistent whatever `e.entrysize` holds.
  const std::u16string units = NameToUtf16(e.name);
  const std::size_t start = out.size();
  out.resize(start + kEntryFixedSize + 2 * units.size());
  std::uint8_t* p = out.data() + start;
  PutU64(p + kEntryOffSize, kEntryFixedSize + 2 * units.size());
  PutU64(p + kEntryOffStatus, e.status);
  PutU64(p + kEntryOffFileSize, static_cast<std::uint64_t>(e.filesize));
  PutDigest(p + kEntryOffWhole, e.md5whole);
  PutDigest(p + kEntryOffHead, e.md5head);
  p += kEntryFixedSize;
  for (char16_t u : units) {
    *p++ = static_cast<std::uint8_t>(u & 0xFF);
    *p++ = static_cast<std::uint8_t>(u >> 8);
  }
}

std::vector<std::uint8_t> EncodeFileList(const SetModel& m) {
  std::vector<std::uint8_t> out;
  const int count = std::clamp(m.FileCount, 0, kTableSlots);
  for (int i = 0; i < count; ++i) AppendEntry(out, m.FileTable[i]);
  return out;
}

std::optional<fileentry> DecodeEntry(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kEntryFixedSize) return std::nullopt;
  const std::uint8_t* p = bytes.data();
  const std::uint64_t size = GetU64(p + kEntryOffSize);
  if (size < kEntryFixedSize || size % 2 != 0 || size > kMaxEntrySize || size > bytes.size()) {
    return std::nullopt;
  }
  const std::uint64_t filesize = GetU64(p + kEntryOffFileSize);
  if (filesize > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return std::nullopt;
  }

  fileentry e;
  e.entrysize = static_cast<std::int64_t>(size);
  e.status = GetU64(p + kEntryOffStatus);
  e.filesize = static_cast<std::int64_t>(filesize);
  e.md5whole = GetDigest(p + kEntryOffWhole);
  e.md5head = GetDigest(p + kEntryOffHead);
  std::u16string units(static_cast<std::size_t>(size - kEntryFixedSize) / 2, u'\0');
  const std::uint8_t* q = p + kEntryFixedSize;
  for (char16_t& u : units) {
    u = static_cast<char16_t>(q[0] | (q[1] << 8));
    q += 2;
  }
  e.name = NameFromUtf16(units);
  return e;
}

bool HasControlCharacter(const std::string& name) {
  return std::any_of(name.begin(), name.end(), [](char c) {
    const auto b = static_cast<std::uint8_t>(c);
    return (b >= 0x01 && b <= 0x1F) || b == 0x7F;
  });
}

bool IsListableName(const std::string& name) {
  return name.find('\\') == std::string::npos && !HasControlCharacter(name);
}

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

}  // namespace tarvel
