#include <kardo/archive.h>

#include <cstring>
#include <limits>

namespace {

// Archives are little-endian whatever the host.
template <class Number> void PutLittleEndian(std::vector<uint8_t>& out, Number value) {
    for (size_t i = 0; i < sizeof(Number); ++i)
        out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
}

template <class Number> Number GetLittleEndian(const uint8_t* in) {
    uint64_t value = 0;
    for (size_t i = 0; i < sizeof(Number); ++i) value |= uint64_t{in[i]} << (8 * i);
    return static_cast<Number>(value);
}

template <class Number> void StoreNumbers(CArchive& ar, const std::vector<Number>& array) {
    ar.WriteCount(array.size());
    for (const Number value : array) ar << value;
}

// A stored element count, checked against the bytes left: each element takes
// at least elementSize bytes (a string at least its one length byte), so a
// corrupt count never allocates more than the data could hold.
size_t ReadElementCount(CArchive& ar, size_t elementSize) {
    const size_t count = ar.ReadCount();
    if (count > ar.GetRemaining() / elementSize)
        throw CArchiveException(CArchiveException::endOfFile);
    return count;
}

template <class Number> void LoadNumbers(CArchive& ar, std::vector<Number>& array) {
    array.resize(ReadElementCount(ar, sizeof(Number)));
    for (Number& value : array) ar >> value;
}

template <class Number> void SerializeNumbers(CArchive& ar, std::vector<Number>& array) {
    if (ar.IsStoring())
        StoreNumbers(ar, array);
    else
        LoadNumbers(ar, array);
}

}  // namespace

CArchive::CArchive() : m_storing(true) {}

CArchive::CArchive(const void* data, std::size_t size)
    : m_storing(false), m_data(static_cast<const uint8_t*>(data)), m_size(data ? size : 0) {}

void CArchive::RequireStoring() const {
    if (!m_storing) throw CArchiveException(CArchiveException::readOnly);
}

void CArchive::RequireLoading() const {
    if (m_storing) throw CArchiveException(CArchiveException::writeOnly);
}

const uint8_t* CArchive::Take(std::size_t size) {
    RequireLoading();
    if (size > m_size - m_pos) throw CArchiveException(CArchiveException::endOfFile);
    const uint8_t* at = m_data + m_pos;
    m_pos += size;
    return at;
}

CArchive& CArchive::operator<<(uint8_t value) {
    RequireStoring();
    m_stored.push_back(value);
    return *this;
}

CArchive& CArchive::operator<<(uint16_t value) {
    RequireStoring();
    PutLittleEndian(m_stored, value);
    return *this;
}

CArchive& CArchive::operator<<(uint32_t value) {
    RequireStoring();
    PutLittleEndian(m_stored, value);
    return *this;
}

CArchive& CArchive::operator<<(int32_t value) { return *this << static_cast<uint32_t>(value); }

CArchive& CArchive::operator>>(uint8_t& value) {
    value = *Take(1);
    return *this;
}

CArchive& CArchive::operator>>(uint16_t& value) {
    value = GetLittleEndian<uint16_t>(Take(2));
    return *this;
}

CArchive& CArchive::operator>>(uint32_t& value) {
    value = GetLittleEndian<uint32_t>(Take(4));
    return *this;
}

CArchive& CArchive::operator>>(int32_t& value) {
    value = static_cast<int32_t>(GetLittleEndian<uint32_t>(Take(4)));
    return *this;
}

void CArchive::Write(const void* data, std::size_t size) {
    RequireStoring();
    const auto* bytes = static_cast<const uint8_t*>(data);
    m_stored.insert(m_stored.end(), bytes, bytes + size);
}

void CArchive::Read(void* data, std::size_t size) {
    const uint8_t* bytes = Take(size);
    if (size) std::memcpy(data, bytes, size);
}

void CArchive::WriteCount(std::size_t count) {
    if (count > std::numeric_limits<uint32_t>::max())
        throw CArchiveException(CArchiveException::badIndex);
    if (count < 0xFFFF) {
        *this << static_cast<uint16_t>(count);
    } else {
        *this << static_cast<uint16_t>(0xFFFF);
        *this << static_cast<uint32_t>(count);
    }
}

std::size_t CArchive::ReadCount() {
    uint16_t count16 = 0;
    *this >> count16;
    if (count16 != 0xFFFF) return count16;
    uint32_t count32 = 0;
    *this >> count32;
    return count32;
}

CArchive& CArchive::operator<<(const std::string& text) {
    const size_t length = text.size();
    if (length > std::numeric_limits<uint32_t>::max())
        throw CArchiveException(CArchiveException::badIndex);
    if (length < 0xFF) {
        *this << static_cast<uint8_t>(length);
    } else if (length < 0xFFFE) {
        *this << static_cast<uint8_t>(0xFF);
        *this << static_cast<uint16_t>(length);
    } else {
        *this << static_cast<uint8_t>(0xFF);
        *this << static_cast<uint16_t>(0xFFFF);
        *this << static_cast<uint32_t>(length);
    }
    Write(text.data(), length);
    return *this;
}

CArchive& CArchive::operator>>(std::string& text) {
    uint8_t length8 = 0;
    *this >> length8;
    size_t length = length8;
    if (length8 == 0xFF) {
        uint16_t length16 = 0;
        *this >> length16;
        length = length16;
        // 0xFFFE announces a wide-character string, which narrow archives
        // never hold.
        if (length16 == 0xFFFE) throw CArchiveException(CArchiveException::badSchema);
        if (length16 == 0xFFFF) {
            uint32_t length32 = 0;
            *this >> length32;
            length = length32;
        }
    }
    const uint8_t* characters = Take(length);
    text.assign(reinterpret_cast<const char*>(characters), length);
    return *this;
}

void Serialize(CArchive& ar, CByteArray& array) {
    if (ar.IsStoring()) {
        ar.WriteCount(array.size());
        ar.Write(array.data(), array.size());
    } else {
        array.resize(ReadElementCount(ar, 1));
        ar.Read(array.data(), array.size());
    }
}

void Serialize(CArchive& ar, CWordArray& array) { SerializeNumbers(ar, array); }

void Serialize(CArchive& ar, CDWordArray& array) { SerializeNumbers(ar, array); }

void Serialize(CArchive& ar, CStringArray& array) {
    if (ar.IsStoring()) {
        ar.WriteCount(array.size());
        for (const std::string& text : array) ar << text;
    } else {
        array.resize(ReadElementCount(ar, 1));
        for (std::string& text : array) ar >> text;
    }
}

void Serialize(CArchive& ar, CStringList& list) {
    if (ar.IsStoring()) {
        ar.WriteCount(list.size());
        for (const std::string& text : list) ar << text;
    } else {
        for (size_t count = ReadElementCount(ar, 1); count > 0; --count) {
            std::string text;
            ar >> text;
            list.push_back(std::move(text));
        }
    }
}
