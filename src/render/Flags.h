#pragma once

#include <initializer_list>
#include <type_traits>

namespace skyglide {

/// A set of flags of a scoped enumeration whose values are single bits
/// written as shifts (`ofResetGLState = 1 << 1`).
template <class Enum> class TFlags
{
    using Bits = std::underlying_type_t<Enum>;

public:
    constexpr TFlags() = default;
    constexpr TFlags(Enum flag) : m_bits(Bits(flag)) {}
    constexpr TFlags(std::initializer_list<Enum> flags)
    {
        for (Enum flag : flags)
            m_bits |= Bits(flag);
    }

    constexpr bool testFlag(Enum flag) const { return (m_bits & Bits(flag)) == Bits(flag); }
    constexpr void setFlag(Enum flag, bool on = true)
    {
        m_bits = on ? Bits(m_bits | Bits(flag)) : Bits(m_bits & ~Bits(flag));
    }
    constexpr bool isEmpty() const { return m_bits == 0; }
    constexpr Bits bits() const { return m_bits; }

    constexpr TFlags operator|(TFlags other) const { return fromBits(m_bits | other.m_bits); }
    constexpr TFlags operator&(TFlags other) const { return fromBits(m_bits & other.m_bits); }
    constexpr bool operator==(const TFlags&) const = default;

private:
    static constexpr TFlags fromBits(Bits bits)
    {
        TFlags f;
        f.m_bits = bits;
        return f;
    }

    Bits m_bits = 0;
};

/// Sets a flag for the lifetime of a scope and clears it however the scope
/// is left (an exception included): "rendering", "inside a GL callback".
class TScopedFlag
{
public:
    explicit TScopedFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~TScopedFlag() { m_flag = false; }
    TScopedFlag(const TScopedFlag&) = delete;
    TScopedFlag& operator=(const TScopedFlag&) = delete;

private:
    bool& m_flag;
};

} // namespace skyglide
