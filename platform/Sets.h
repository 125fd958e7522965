// Platform core: a set of enumeration members stored in the bits of one small integer, so it
// copies and compares like the platform's one-byte sets. Member m occupies bit (1 << m).
#pragma once

#include <cstdint>
#include <initializer_list>

template <typename Enum, typename Storage = uint8_t>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<Enum> members) {
        for (Enum m : members) Include(m);
    }
    static constexpr TSet FromValue(Storage value) {
        TSet s;
        s.bits_ = value;
        return s;
    }
    constexpr bool Contains(Enum m) const { return (bits_ >> unsigned(m)) & 1u; }
    constexpr TSet& Include(Enum m) {
        bits_ = Storage(bits_ | (Storage(1) << unsigned(m)));
        return *this;
    }
    constexpr TSet& Exclude(Enum m) {
        bits_ = Storage(bits_ & ~(Storage(1) << unsigned(m)));
        return *this;
    }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr Storage Value() const { return bits_; }
    constexpr TSet operator+(TSet other) const { return FromValue(Storage(bits_ | other.bits_)); }
    constexpr TSet operator-(TSet other) const { return FromValue(Storage(bits_ & ~other.bits_)); }
    constexpr TSet operator*(TSet other) const { return FromValue(Storage(bits_ & other.bits_)); }
    friend constexpr bool operator==(TSet, TSet) = default;

private:
    Storage bits_ = 0;
};
