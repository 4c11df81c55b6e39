#ifndef KARDO_ARCHIVE_H
#define KARDO_ARCHIVE_H

/* The framework's archive format: little-endian numbers, element counts and
 * string lengths with escapes, and the collections that CRegistry stores.
 *
 *   count   16 bits; from 0xFFFF on: 0xFFFF and the count in 32 bits
 *   string  length in one byte when below 0xFF; else 0xFF and 16 bits when
 *           below 0xFFFE; else 0xFF, 0xFFFF and 32 bits; then the characters
 *           without a terminating zero
 *
 * A loading archive reads only the bytes it was given and throws
 * CArchiveException (endOfFile) instead of reading past them. */
#include <kardo/exception.h>
#include <kardo/export.h>

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

/* The framework's collections. */
using CByteArray = std::vector<uint8_t>;
using CWordArray = std::vector<uint16_t>;
using CDWordArray = std::vector<uint32_t>;
using CStringArray = std::vector<std::string>;
using CStringList = std::list<std::string>;

class KARDO_API CArchive {
public:
    enum Mode { store = 0, load = 1 };

    /* A storing archive that collects its bytes in memory. */
    CArchive();
    /* A loading archive over size bytes at data, which must outlive it. */
    CArchive(const void* data, std::size_t size);

    bool IsStoring() const { return m_storing; }
    bool IsLoading() const { return !m_storing; }

    CArchive& operator<<(uint8_t value);
    CArchive& operator<<(uint16_t value);
    CArchive& operator<<(uint32_t value);
    CArchive& operator<<(int32_t value);
    CArchive& operator<<(const std::string& text);
    CArchive& operator>>(uint8_t& value);
    CArchive& operator>>(uint16_t& value);
    CArchive& operator>>(uint32_t& value);
    CArchive& operator>>(int32_t& value);
    CArchive& operator>>(std::string& text);

    void WriteCount(std::size_t count);
    std::size_t ReadCount();
    void Write(const void* data, std::size_t size);
    void Read(void* data, std::size_t size);

    /* Bytes stored so far (storing) or not yet read (loading). */
    const std::vector<uint8_t>& GetStoredBytes() const { return m_stored; }
    std::size_t GetRemaining() const { return m_size - m_pos; }

private:
    void RequireStoring() const;
    void RequireLoading() const;
    const uint8_t* Take(std::size_t size);

    bool m_storing;
    std::vector<uint8_t> m_stored;
    const uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_pos = 0;
};

/* Each collection as its own Serialize stores and loads it: the count, then the
 * elements. Loading an array sets its size to the stored count; loading a
 * string list appends the stored strings. */
KARDO_API void Serialize(CArchive& ar, CByteArray& array);
KARDO_API void Serialize(CArchive& ar, CWordArray& array);
KARDO_API void Serialize(CArchive& ar, CDWordArray& array);
KARDO_API void Serialize(CArchive& ar, CStringArray& array);
KARDO_API void Serialize(CArchive& ar, CStringList& list);

#endif
