// Platform core: streams and the string list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "SysUtils.h"

enum TSeekOrigin : uint8_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// File open modes: one access mode, optionally combined with one share mode. fmCreate creates or
// truncates the file and opens it for reading and writing.
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyNone = 0x0040;
constexpr uint16_t fmCreate = 0xFF00;

// A sequence of bytes with a position. `Read` and `Write` move as many bytes as they can and return
// that count; `ReadBuffer` and `WriteBuffer` move all or raise EReadError / EWriteError.
class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }
    virtual int64_t Size();
    virtual void SetSize(int64_t size);
    // Bytes from the position to the end (0 when the position is past the end).
    int64_t Remaining();

    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies `count` bytes from `source` at its position (the whole of it from its start when 0).
    int64_t CopyFrom(TStream& source, int64_t count);

    // Multi-byte values in a stated byte order (strict reads).
    uint8_t ReadByte();
    uint16_t ReadWordLE();
    uint16_t ReadWordBE();
    uint32_t ReadLongLE();
    uint32_t ReadLongBE();
};

// A file through a POSIX descriptor. Opening failures raise EFOpenError "Cannot open file "%s". %s",
// creation failures EFCreateError "Cannot create file "%s". %s".
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
    const std::string& FileName() const { return fileName_; }
    // Forces the written data to the disk.
    void Flush();

private:
    int fd_ = -1;
    std::string fileName_;
};

// Bytes held in memory; grows on writing.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}
    TMemoryStream(const void* data, size_t size);

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return int64_t(data_.size()); }
    void SetSize(int64_t size) override;

    uint8_t* Memory() { return data_.data(); }
    const std::vector<uint8_t>& Bytes() const { return data_; }
    void Clear();
    void LoadFromStream(TStream& source);
    void LoadFromFile(const std::string& fileName);
    void SaveToStream(TStream& target);
    void SaveToFile(const std::string& fileName);

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

// Reads bytes that belong to someone else (for example a mapped file or a test's buffer) without
// copying them; the bytes must outlive the stream. Writing raises EWriteError.
class TPointerStream : public TStream {
public:
    TPointerStream(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(int64_t(size)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return size_; }
    const uint8_t* Memory() const { return data_; }

private:
    const uint8_t* data_;
    int64_t size_;
    int64_t position_ = 0;
};

// A list of text lines. Indexed access outside 0..Count-1 raises EListError.
class TStringList {
public:
    int Count() const { return int(lines_.size()); }
    int Add(std::string line);
    void Insert(int index, std::string line);
    void Delete(int index);
    void Clear() { lines_.clear(); }
    const std::string& Strings(int index) const;
    void SetStrings(int index, std::string line);
    const std::string& operator[](int index) const { return Strings(index); }

    // Every line followed by CR LF.
    std::string Text() const;
    // Splits at CR, LF or CR LF; a zero byte ends the text. A final line without a line end counts.
    void SetText(std::string_view text);

    void SaveToStream(TStream& stream) const;
    void SaveToFile(const std::string& fileName) const;
    void LoadFromStream(TStream& stream);
    // Reads the whole file first; the list is changed only when reading succeeded.
    void LoadFromFile(const std::string& fileName);

private:
    std::vector<std::string> lines_;
};

// Writes `data` to `fileName` through a temporary file in the same folder that is renamed into
// place, so the target is either untouched or completely written. Raises EFCreateError or
// EWriteError on failure and leaves no temporary file behind.
void WriteFileAtomically(const std::string& fileName, const void* data, size_t size);
