#ifndef EXPORTSETTINGS_H
#define EXPORTSETTINGS_H

// The user's unit and time choices that the CSV export follows, read at each
// export. The main window implements it; the command-line tool passes fixed
// values.
class ExportSettings
{
public:
    virtual ~ExportSettings() = default;
    virtual int exportSpeedUnit() const = 0;  // 0 = km/h, otherwise mph
    virtual int exportHeightUnit() const = 0; // 0 = metres, otherwise feet
    virtual int exportTimeSwitch() const = 0; // 0 = UTC, otherwise local time
};

class FixedExportSettings : public ExportSettings
{
public:
    FixedExportSettings(int speedUnit = 0, int heightUnit = 0, int timeSwitch = 0)
        : speed(speedUnit), height(heightUnit), time(timeSwitch)
    {}
    int exportSpeedUnit() const override { return speed; }
    int exportHeightUnit() const override { return height; }
    int exportTimeSwitch() const override { return time; }

    int speed;
    int height;
    int time;
};

#endif // EXPORTSETTINGS_H
