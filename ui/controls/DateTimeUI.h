// A date field with a month calendar popup.
#pragma once

#include "ui/controls/CalendarDate.h"
#include "ui/controls/LabelUI.h"

class CDateTimeWnd;

// A label showing its date in "format" (default "yyyy-MM-dd"; see
// calendar::format). "date" (YYYY-MM-DD) sets it; without it the date is
// today's. A press opens the month calendar popup (a top-level window
// owned by the control's window, no task-bar entry, "dropboxsize" big,
// placed like a combo's drop-down) on the date's month; picking a day sets
// it and closes; Escape and a click elsewhere close without a change.
// While focused, the field under the caret line is the one Up and Down
// change (wrapping the month and day, the day held to the month's length;
// the year stops at the ends), Left and Right move between fields.
// "datetimechange" is raised for every change the user makes. Dates
// outside 1601-01-01..9999-12-31 are refused. UI thread only.
class CDateTimeUI : public CLabelUI {
public:
    CDateTimeUI();
    ~CDateTimeUI() override;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void handleEvent(TInputEventUI& event) override;
    void drawTextPart(platform::Canvas& canvas) override;

    const TDateUI& date() const { return m_date; }
    // Sets a valid date (no notice); false, nothing changed, otherwise.
    bool assignDate(const TDateUI& date);
    const CStringUI& format() const { return m_format; }
    void assignFormat(std::wstring_view format);
    // The field Up and Down change.
    calendar::Field focusedField() const { return m_field; }
    // Changes the focused field by `delta` as Up/Down do; true when the date
    // changed ("datetimechange" raised).
    bool stepField(int delta);

    bool isOpen() const { return m_popup != nullptr; }
    // Opens the calendar popup; false when open already, disabled or detached.
    bool open();
    void close();
    CDateTimeWnd* popup() const { return m_popup; }

private:
    friend class CDateTimeWnd;
    void pickFromPopup(const TDateUI& date);
    void popupGone() { m_popup = nullptr; }
    void userDate(const TDateUI& date);
    void refreshText();
    void moveField(int direction);

    TDateUI m_date;
    CStringUI m_format{L"yyyy-MM-dd"};
    calendar::Field m_field = calendar::Field::Day;
    platform::Size m_dropBox{210, 196};
    CDateTimeWnd* m_popup = nullptr; // deletes itself when its window is gone
};
