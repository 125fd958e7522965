#include "Classes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ---------------------------------------------------------------------------
// TStream

int64_t TStream::Size() {
    int64_t position = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

int64_t TStream::Remaining() {
    int64_t rest = Size() - Position();
    return rest > 0 ? rest : 0;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count < 0 || (count != 0 && Read(buffer, count) != count)) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count < 0 || (count != 0 && Write(buffer, count) != count)) throw EWriteError();
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    int64_t result = count;
    std::vector<uint8_t> buffer(size_t(std::min<int64_t>(count, 1 << 20)));
    while (count > 0) {
        int64_t n = std::min<int64_t>(count, int64_t(buffer.size()));
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        count -= n;
    }
    return result;
}

uint8_t TStream::ReadByte() {
    uint8_t b;
    ReadBuffer(&b, 1);
    return b;
}

uint16_t TStream::ReadWordLE() {
    uint8_t b[2];
    ReadBuffer(b, 2);
    return uint16_t(b[0] | (b[1] << 8));
}

uint16_t TStream::ReadWordBE() {
    uint8_t b[2];
    ReadBuffer(b, 2);
    return uint16_t((b[0] << 8) | b[1]);
}

uint32_t TStream::ReadLongLE() {
    uint8_t b[4];
    ReadBuffer(b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

uint32_t TStream::ReadLongBE() {
    uint8_t b[4];
    ReadBuffer(b, 4);
    return uint32_t(b[3]) | uint32_t(b[2]) << 8 | uint32_t(b[1]) << 16 | uint32_t(b[0]) << 24;
}

// ---------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName) {
    if (mode == fmCreate || (mode & 0xFF00) == fmCreate) {
        fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw EFCreateError(Format("Cannot create file \"%s\". %s", {fileName, SysErrorMessage(errno)}));
        return;
    }
    int flags = O_CLOEXEC;
    switch (mode & 3) {
    case fmOpenWrite: flags |= O_WRONLY; break;
    case fmOpenReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
    }
    fd_ = ::open(fileName.c_str(), flags);
    int error = errno;
    if (fd_ >= 0) {
        struct stat st;
        if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            error = EISDIR;
        }
    }
    if (fd_ < 0) throw EFOpenError(Format("Cannot open file \"%s\". %s", {fileName, SysErrorMessage(error)}));
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::read(fd_, p + done, size_t(std::min<int64_t>(count - done, 1 << 30)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::write(fd_, p + done, size_t(std::min<int64_t>(count - done, 1 << 30)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    off_t result = ::lseek(fd_, off_t(offset), whence);
    if (result < 0) {
        // A seek before the start of the file: the position stays where it was.
        return ::lseek(fd_, 0, SEEK_CUR);
    }
    return int64_t(result);
}

void TFileStream::SetSize(int64_t size) {
    if (::ftruncate(fd_, off_t(size)) != 0) throw EWriteError();
}

void TFileStream::Flush() {
    if (::fsync(fd_) != 0 && errno != EINVAL) throw EWriteError();
}

// ---------------------------------------------------------------------------
// TMemoryStream

TMemoryStream::TMemoryStream(const void* data, size_t size)
    : data_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || position_ >= int64_t(data_.size())) return 0;
    int64_t n = std::min<int64_t>(count, int64_t(data_.size()) - position_);
    std::memcpy(buffer, data_.data() + position_, size_t(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    int64_t end = position_ + count;
    if (end > int64_t(data_.size())) data_.resize(size_t(end));
    std::memcpy(data_.data() + position_, buffer, size_t(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : int64_t(data_.size());
    int64_t target = base + offset;
    if (target >= 0) position_ = target;
    return position_;
}

void TMemoryStream::SetSize(int64_t size) {
    if (size < 0) throw EStreamError("Invalid stream size");
    data_.resize(size_t(size));
    if (position_ > size) position_ = size;
}

void TMemoryStream::Clear() {
    data_.clear();
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    int64_t size = source.Size();
    std::vector<uint8_t> data(size_t(std::max<int64_t>(size, 0)));
    source.ReadBuffer(data.data(), int64_t(data.size()));
    data_ = std::move(data);
    position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& target) { target.WriteBuffer(data_.data(), int64_t(data_.size())); }

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}

// ---------------------------------------------------------------------------
// TPointerStream

int64_t TPointerStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || position_ >= size_) return 0;
    int64_t n = std::min<int64_t>(count, size_ - position_);
    std::memcpy(buffer, data_ + position_, size_t(n));
    position_ += n;
    return n;
}

int64_t TPointerStream::Write(const void*, int64_t) { throw EWriteError(); }

int64_t TPointerStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : size_;
    int64_t target = base + offset;
    if (target >= 0) position_ = target;
    return position_;
}

// ---------------------------------------------------------------------------
// TStringList

int TStringList::Add(std::string line) {
    lines_.push_back(std::move(line));
    return Count() - 1;
}

void TStringList::Insert(int index, std::string line) {
    if (index < 0 || index > Count()) throw EListError(index);
    lines_.insert(lines_.begin() + index, std::move(line));
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count()) throw EListError(index);
    lines_.erase(lines_.begin() + index);
}

const std::string& TStringList::Strings(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return lines_[size_t(index)];
}

void TStringList::SetStrings(int index, std::string line) {
    if (index < 0 || index >= Count()) throw EListError(index);
    lines_[size_t(index)] = std::move(line);
}

std::string TStringList::Text() const {
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TStringList::SetText(std::string_view text) {
    std::vector<std::string> lines;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] != '\0') {
        size_t start = i;
        while (i < n && text[i] != '\r' && text[i] != '\n' && text[i] != '\0') ++i;
        lines.emplace_back(text.substr(start, i - start));
        if (i < n && text[i] == '\r') ++i;
        if (i < n && text[i] == '\n') ++i;
    }
    lines_ = std::move(lines);
}

void TStringList::SaveToStream(TStream& stream) const {
    std::string text = Text();
    stream.WriteBuffer(text.data(), int64_t(text.size()));
}

void TStringList::SaveToFile(const std::string& fileName) const {
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}

void TStringList::LoadFromStream(TStream& stream) {
    int64_t size = stream.Remaining();
    std::string text(size_t(size), '\0');
    stream.ReadBuffer(text.data(), size);
    SetText(text);
}

void TStringList::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

// ---------------------------------------------------------------------------

void WriteFileAtomically(const std::string& fileName, const void* data, size_t size) {
    std::string folder = ExtractFilePath(fileName);
    std::string pattern = (folder.empty() ? std::string("./") : folder) + "." + ExtractFileName(fileName) + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    int fd = ::mkstemp(temp.data());
    if (fd < 0) throw EFCreateError(Format("Cannot create file \"%s\". %s", {fileName, SysErrorMessage(errno)}));
    std::string tempName(temp.data());
    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(tempName.c_str());
        throw EWriteError(Format("Cannot write file \"%s\". %s", {fileName, SysErrorMessage(error)}));
    };
    // Keep the permissions of an existing target; new files get the usual 0666 less the umask.
    struct stat st;
    if (::stat(fileName.c_str(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    auto* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : ENOSPC);
        done += size_t(n);
    }
    if (::fsync(fd) != 0 && errno != EINVAL) fail(errno);
    if (::close(fd) != 0) {
        int error = errno;
        ::unlink(tempName.c_str());
        throw EWriteError(Format("Cannot write file \"%s\". %s", {fileName, SysErrorMessage(error)}));
    }
    if (::rename(tempName.c_str(), fileName.c_str()) != 0) {
        int error = errno;
        ::unlink(tempName.c_str());
        throw EFCreateError(Format("Cannot create file \"%s\". %s", {fileName, SysErrorMessage(error)}));
    }
}
