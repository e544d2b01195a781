#include "formats/fixedtext.h"

#include <charconv>
#include <cmath>

QByteArray fixedBytes(double value, int decimals)
{
    static const double Scale[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    if (decimals >= 0 && decimals <= 8 && std::isfinite(value)) {
        const double t = value * Scale[decimals];
        // A tie only when the product is exact (no rounding in the multiplication) and
        // its fraction is one half; then take the even neighbour.
        if (std::fabs(t) < 1e15 && std::fabs(t - std::trunc(t)) == 0.5 &&
            std::fma(value, Scale[decimals], -t) == 0) {
            const double below = std::floor(t);
            const double even = std::fmod(below, 2) == 0 ? below : below + 1;
            return QByteArray::number(even / Scale[decimals], 'f', decimals);
        }
    }
    return QByteArray::number(value, 'f', decimals);
}

QByteArray shortestBytes(double value)
{
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, int(r.ptr - buffer));
}
