#ifndef UNITS_H
#define UNITS_H

// The user's choice of units and clock. The values are those the settings file stores
// ("speedUnit", "heightUnit", "timeSwitch") and must stay as they are.
enum class SpeedUnit : int
{
    Kmh = 0, // distances in km
    Mph = 1  // distances in miles
};
enum class HeightUnit : int
{
    Metres = 0,
    Feet = 1
};
enum class TimeShown : int
{
    Utc = 0,
    Local = 1 // the computer's time zone
};

namespace Units {
constexpr double KmPerMile = 1.609344;
constexpr double MetresPerMile = KmPerMile * 1000;
constexpr double FeetPerMetre = 3.28084;
// The point list and the CSV file have always converted in single precision: 10.1 mph
// must keep reading as it always has.
constexpr float KmPerMileSingle = float(KmPerMile);
constexpr float FeetPerMetreSingle = float(FeetPerMetre);
} // namespace Units

// The units and clock the views and the CSV writer show values in, read at the moment they
// are needed: the window's Unit and Time menus, or the command line's fixed choice.
class DisplayUnits
{
public:
    virtual ~DisplayUnits() = default;
    virtual SpeedUnit speedUnit() const = 0;
    virtual HeightUnit heightUnit() const = 0;
    virtual TimeShown timeShown() const = 0;
};

class FixedDisplayUnits : public DisplayUnits
{
public:
    FixedDisplayUnits(SpeedUnit speed = SpeedUnit::Kmh, HeightUnit height = HeightUnit::Metres,
                      TimeShown time = TimeShown::Utc)
        : speed(speed), height(height), time(time)
    {}
    SpeedUnit speedUnit() const override { return speed; }
    HeightUnit heightUnit() const override { return height; }
    TimeShown timeShown() const override { return time; }

    SpeedUnit speed;
    HeightUnit height;
    TimeShown time;
};

#endif // UNITS_H
