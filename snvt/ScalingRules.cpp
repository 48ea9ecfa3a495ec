// The scaling rules of the catalogue: one pair of reading and writing functions per rule.
// The fractional step factors and the Fahrenheit factor are applied in extended precision
// and each intermediate result is stored in double, as the devices' tools compute them.
#include "snvt/LonDefines.h"

#include <cmath>
#include <cstdint>

namespace {

using Scale = double (*)(double value, bool tempsInF);

struct RuleFunctions {
    Scale read;
    Scale write;
};

double Times(double value, long double factor)
{
    return double(static_cast<long double>(value) * factor);
}

double Over(double value, long double factor)
{
    return double(static_cast<long double>(value) / factor);
}

double CelsiusToShown(double celsius, bool tempsInF)
{
    return tempsInF ? Times(celsius, 1.8L) + 32.0 : celsius;
}

double ShownToCelsius(double shown, bool tempsInF)
{
    return tempsInF ? Over(shown - 32.0, 1.8L) : shown;
}

// Nearest integer, ties to the even neighbour, whatever the FPU rounding mode.
double RoundHalfEven(double value)
{
    const double down = std::floor(value);
    const double fraction = value - down;
    if (fraction > 0.5)
        return down + 1.0;
    if (fraction < 0.5)
        return down;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

double ReadSwitch(double value, bool)
{
    // The level/state word is the low 16 bits of the truncated value; what cannot be
    // truncated to 64 bits reads as 0.
    constexpr double Limit = 9223372036854775808.0;   // 2^63
    if (!(value > -Limit && value < Limit))
        return 0.0;
    const auto word = quint16(std::int64_t(value));
    return (word >> 8) != 0 && (word & 0xFF) != 0 ? 1.0 : 0.0;
}

double ClampAddress(double value, bool)
{
    if (std::isnan(value))
        return 0.0;
    return value < 16384.0 ? 16384.0 : (value > 61951.0 ? 61951.0 : value);
}

double Same(double value, bool) { return value; }

// Indexed by ScalingRule.
constexpr RuleFunctions Rules[] = {
    /* None */ {Same, Same},
    /* Tenths */ {[](double v, bool) { return v / 10.0; }, [](double v, bool) { return v * 10.0; }},
    /* Hundredths */ {[](double v, bool) { return v / 100.0; }, [](double v, bool) { return v * 100.0; }},
    /* Thousandths */ {[](double v, bool) { return v / 1000.0; }, [](double v, bool) { return v * 1000.0; }},
    /* HalfSteps */ {[](double v, bool) { return v / 2.0; },
                     [](double v, bool) { const double r = v * 2.0; return r > 200.0 ? 200.0 : r; }},
    /* WholePercent */ {Same, [](double v, bool) { return v > 100.0 ? 100.0 : (v < 0.0 ? 0.0 : v); }},
    /* NonNegative */ {Same, [](double v, bool) { return v < 0.0 ? 0.0 : v; }},
    /* Steps0_005 */ {[](double v, bool) { return Times(v, 0.005L); },
                      [](double v, bool) { return Over(v, 0.005L); }},
    /* Steps0_00005 */ {[](double v, bool) { return Times(v, 0.00005L); },
                        [](double v, bool) { return Over(v, 0.00005L); }},
    /* Steps0_02 */ {[](double v, bool) { return Times(v, 0.02L); },
                     [](double v, bool) { return Over(v, 0.02L); }},
    /* Steps0_0002 */ {[](double v, bool) { return Times(v, 0.0002L); },
                       [](double v, bool) { return Over(v, 0.0002L); }},
    /* Temperature */ {[](double v, bool f) { return CelsiusToShown((v - 2740.0) / 10.0, f); },
                       [](double v, bool f) {
                           return std::trunc(ShownToCelsius(v, f) * 10.0) + 2740.0;
                       }},
    /* HundredthsTemperature */ {[](double v, bool f) { return CelsiusToShown(v / 100.0, f); },
                                 [](double v, bool f) {
                                     return RoundHalfEven(ShownToCelsius(v, f) * 100.0);
                                 }},
    /* Switch */ {ReadSwitch, [](double v, bool) { return v != 0.0 ? 51201.0 : 0.0; }},
    /* AddressRange */ {ClampAddress, ClampAddress},
};

static_assert(std::size(Rules) == std::size_t(ScalingRule::AddressRange) + 1,
              "one reading and writing pair per scaling rule");

const RuleFunctions &RuleFor(int parameter)
{
    return Rules[std::size_t(ScalingRuleOf(parameter))];
}

} // namespace

double ScaleForReading(int parameter, double value, bool tempsInF)
{
    return RuleFor(parameter).read(value, tempsInF);
}

double ScaleForWriting(int parameter, double value, bool tempsInF)
{
    return RuleFor(parameter).write(value, tempsInF);
}
