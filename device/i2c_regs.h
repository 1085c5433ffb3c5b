// Register images of the graphics processor's generic I2C engine: offsets bound in, named fields.
#pragma once

#include <cstdint>
#include <type_traits>

// One field of a register layout: bits High..Low. Shift and mask are computed here, never left to
// the compiler's bit-field order, so a layout means the same on every compiler.
template <unsigned High, unsigned Low>
struct TBits {
    static_assert(High >= Low && High < 32, "a field lies within one 32-bit register");
    static constexpr unsigned kHigh = High;
    static constexpr unsigned kLow = Low;
    static constexpr unsigned kWidth = High - Low + 1;
    static constexpr std::uint32_t kMask =
        (kWidth == 32 ? 0xFFFFFFFFu : ((std::uint32_t{1} << kWidth) - 1u)) << Low;

    static constexpr std::uint32_t Get(std::uint32_t value) { return (value & kMask) >> Low; }
    static constexpr std::uint32_t Put(std::uint32_t value, std::uint32_t field) {
        return (value & ~kMask) | ((field << Low) & kMask);
    }
};

// A layout's field list, high bit first. It must cover bits 31 down to 0 without gap or overlap.
template <typename... Fields>
struct TFieldList {
    template <typename F>
    static constexpr bool kContains = (std::is_same_v<F, Fields> || ...);

    static constexpr bool CoversRegister() {
        constexpr unsigned highs[] = {Fields::kHigh...};
        constexpr unsigned lows[] = {Fields::kLow...};
        unsigned next = 31;
        for (unsigned i = 0; i < sizeof...(Fields); ++i) {
            if (highs[i] != next) return false;
            if (lows[i] == 0) return i + 1 == sizeof...(Fields);
            next = lows[i] - 1;
        }
        return false;
    }
};

// Fields are distinct types per layout (struct F : TBits<...> {}), so an image only accepts the
// fields of its own layout.
struct TRegGENERIC_I2C_CONTROL {
    struct CONFIG : TBits<31, 4> {};
    struct ENABLE : TBits<3, 3> {};
    struct RESERVED_2 : TBits<2, 2> {};
    struct SOFT_RESET : TBits<1, 1> {};
    struct GO : TBits<0, 0> {};
    using Fields = TFieldList<CONFIG, ENABLE, RESERVED_2, SOFT_RESET, GO>;
};

struct TRegGENERIC_I2C_STATUS {
    struct RESERVED_31_5 : TBits<31, 5> {};
    struct DONE : TBits<4, 4> {};
    struct RESERVED_3_0 : TBits<3, 0> {};
    using Fields = TFieldList<RESERVED_31_5, DONE, RESERVED_3_0>;
};

struct TRegGENERIC_I2C_SPEED {
    struct PRESCALE : TBits<31, 16> {};
    struct RESERVED_15_5 : TBits<15, 5> {};
    struct FILTER : TBits<4, 4> {};
    struct RESERVED_3_2 : TBits<3, 2> {};
    struct THRESHOLD : TBits<1, 0> {};
    using Fields = TFieldList<PRESCALE, RESERVED_15_5, FILTER, RESERVED_3_2, THRESHOLD>;
};

struct TRegGENERIC_I2C_SETUP {
    struct TIME_LIMIT : TBits<31, 24> {};
    struct RESERVED_23_0 : TBits<23, 0> {};
    using Fields = TFieldList<TIME_LIMIT, RESERVED_23_0>;
};

struct TRegGENERIC_I2C_TRANSACTION {
    struct RESERVED_31_20 : TBits<31, 20> {};
    struct COUNT : TBits<19, 16> {};  // buffer bytes after the first
    struct RESERVED_15_14 : TBits<15, 14> {};
    struct STOP : TBits<13, 13> {};
    struct START : TBits<12, 12> {};
    struct RESERVED_11_10 : TBits<11, 10> {};
    struct ACK : TBits<9, 9> {};
    struct ACTIVE : TBits<8, 8> {};  // always 1
    struct RESERVED_7_1 : TBits<7, 1> {};
    struct READ : TBits<0, 0> {};  // 1 reads from the bus device
    using Fields = TFieldList<RESERVED_31_20, COUNT, RESERVED_15_14, STOP, START, RESERVED_11_10,
                              ACK, ACTIVE, RESERVED_7_1, READ>;
};

struct TRegGENERIC_I2C_DATA {
    struct INDEX_WRITE : TBits<31, 31> {};  // load the buffer index from INDEX
    struct RESERVED_30_20 : TBits<30, 20> {};
    struct INDEX : TBits<19, 16> {};
    struct DATA : TBits<15, 8> {};
    struct RESERVED_7_1 : TBits<7, 1> {};
    struct FETCH : TBits<0, 0> {};  // 1 fetches a received byte, 0 loads one to send
    using Fields = TFieldList<INDEX_WRITE, RESERVED_30_20, INDEX, DATA, RESERVED_7_1, FETCH>;
};

struct TRegGENERIC_I2C_PIN_SELECTION {
    struct RESERVED_31_15 : TBits<31, 15> {};
    struct SECOND_PIN : TBits<14, 8> {};
    struct RESERVED_7 : TBits<7, 7> {};
    struct FIRST_PIN : TBits<6, 0> {};
    using Fields = TFieldList<RESERVED_31_15, SECOND_PIN, RESERVED_7, FIRST_PIN>;
};

// The image of one register: its value, read or written whole or field by field. A short-lived
// local of the operation that uses it; never shared between threads.
template <std::uint32_t Offset, typename Layout>
class CRegs {
    static_assert(Layout::Fields::CoversRegister(), "fields run from bit 31 down to 0");

public:
    static constexpr std::uint32_t kOffset = Offset;
    using LayoutType = Layout;

    CRegs() = default;
    explicit CRegs(std::uint32_t raw) : value(raw) {}
    CRegs(const CRegs&) = default;
    CRegs& operator=(const CRegs&) = default;
    virtual ~CRegs() = default;

    template <typename Field>
    std::uint32_t Get() const {
        static_assert(Layout::Fields::template kContains<Field>, "field of another register");
        return Field::Get(value);
    }

    template <typename Field>
    void Set(std::uint32_t field) {
        static_assert(Layout::Fields::template kContains<Field>, "field of another register");
        value = Field::Put(value, field);
    }

    std::uint32_t value = 0;
};

using CRegGENERIC_I2C_CONTROL = CRegs<0x60D0, TRegGENERIC_I2C_CONTROL>;
using CRegGENERIC_I2C_STATUS = CRegs<0x60D8, TRegGENERIC_I2C_STATUS>;
using CRegGENERIC_I2C_SPEED = CRegs<0x60DC, TRegGENERIC_I2C_SPEED>;
using CRegGENERIC_I2C_SETUP = CRegs<0x60E0, TRegGENERIC_I2C_SETUP>;
using CRegGENERIC_I2C_TRANSACTION = CRegs<0x60E4, TRegGENERIC_I2C_TRANSACTION>;
using CRegGENERIC_I2C_DATA = CRegs<0x60E8, TRegGENERIC_I2C_DATA>;
using CRegGENERIC_I2C_PIN_SELECTION = CRegs<0x60EC, TRegGENERIC_I2C_PIN_SELECTION>;
