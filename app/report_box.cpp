// The report of the sets not converted, cut to what a message box can show on the screen.
#include <string>
#include <utility>
#include <vector>

#include "app/converter_window.h"

namespace {

const char kNotConvertedCaption[] = "Recipes not converted";
const wchar_t kHeading[] = L"These settings were not converted:\n";
// A message box wraps its text at a width Windows does not publish (Wine: its template's
// text field, about a quarter of a 1024-pixel screen): measuring at a quarter of the screen,
// breaking words too long for a line as an edit control does, wraps at least as often.
constexpr int kWrapWidthDivisor = 4;
// Room the box takes besides its text, in lines of its font: the margins above and below the
// text, the OK button and the space around it.
constexpr int kBoxChromeLines = 8;

// "... and N more." for the lines left out.
std::wstring MoreLine(size_t count) {
    return L"\n... and " + std::to_wstring(count) + L" more.";
}

// Measures text as a message box lays it out, in the font it uses.
class TextMeasure {
  public:
    TextMeasure() : screen_(GetDC(nullptr)) {
        NONCLIENTMETRICSW metrics = {};
        metrics.cbSize = sizeof metrics;
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
            font_ = CreateFontIndirectW(&metrics.lfMessageFont);
        }
        if (font_ != nullptr) {
            previous_ = SelectObject(screen_, font_);
        }
        RECT work = {};
        if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
            work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        }
        width_ = (work.right - work.left) / kWrapWidthDivisor;
        TEXTMETRICW font = {};
        GetTextMetricsW(screen_, &font);
        room_ = (work.bottom - work.top) - GetSystemMetrics(SM_CYCAPTION) -
                2 * GetSystemMetrics(SM_CYFIXEDFRAME) - kBoxChromeLines * font.tmHeight;
    }
    ~TextMeasure() {
        if (previous_ != nullptr) {
            SelectObject(screen_, previous_);
        }
        if (font_ != nullptr) {
            DeleteObject(font_);
        }
        ReleaseDC(nullptr, screen_);
    }
    TextMeasure(const TextMeasure&) = delete;
    TextMeasure& operator=(const TextMeasure&) = delete;

    // True when text, wrapped as in a message box, fits the screen's height.
    bool Fits(const std::wstring& text) const {
        RECT rect = {0, 0, width_, 0};
        DrawTextW(
            screen_, text.c_str(), -1, &rect,
            DT_LEFT | DT_WORDBREAK | DT_EDITCONTROL | DT_EXPANDTABS | DT_NOPREFIX | DT_CALCRECT);
        return rect.bottom - rect.top <= room_;
    }

  private:
    HDC screen_;
    HFONT font_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    int width_ = 0;
    int room_ = 0;
};

}  // namespace

void ShowNotConverted(HWND owner, const std::vector<std::wstring>& lines) {
    const TextMeasure measure;
    std::wstring text = kHeading;
    size_t shown = 0;
    for (; shown < lines.size(); ++shown) {
        std::wstring longer = text + L"\n" + lines[shown];
        const size_t left = lines.size() - shown - 1;
        if (!measure.Fits(left == 0 ? longer : longer + MoreLine(left))) {
            break;
        }
        text = std::move(longer);
    }
    if (shown < lines.size()) {
        text += MoreLine(lines.size() - shown);
    }
    ShowMessage(owner, text, kNotConvertedCaption);
}
