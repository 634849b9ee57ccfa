#include "layout/controlinventory.h"

#include <cstring>

namespace koru::layout {

namespace {

using K = ControlKind;
using A = TextAlign;
using B = Border;

constexpr const char *W = kWindowContainer;
constexpr const char *SYS = kSystemColour;
constexpr const char *DEF = kDefaultColour;

constexpr FontSetting NoFont{FontFace::None, 0, false};
constexpr FontSetting G825{FontFace::G, 8.25, false};
constexpr FontSetting G825B{FontFace::G, 8.25, true};
constexpr FontSetting G9{FontFace::G, 9, false};
constexpr FontSetting G9B{FontFace::G, 9, true};
constexpr FontSetting P9{FontFace::P, 9, false};
constexpr FontSetting P9B{FontFace::P, 9, true};
constexpr FontSetting P975B{FontFace::P, 9.75, true};

constexpr const char *Grey = "#C0C0C0";
constexpr const char *White = "#FFFFFF";
constexpr const char *Green = "#C0FFC0";
constexpr const char *Pink = "#FFC0C0";
constexpr const char *Cyan = "#C0FFFF";
constexpr const char *Peach = "#FFE0C0";
constexpr const char *Orange = "#FFC080";
constexpr const char *Lilac = "#C0C0FF";
constexpr const char *LineBlue = "#8080FF";

// clang-format off
const std::vector<ControlEntry> kInventory = {
// kind         name         in         caption               left  top   width height ground  text       font   align     border    tab shown  sel    accessible name
// The outline of the cross around the cursor pad; the four numbers are X1, Y1, X2, Y2.
{K::Line,       "Line1",     W,         "",                   1080, 2400, 1080, 2880, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Line,       "Line2",     W,         "",                   2160, 2400, 2160, 2880, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Line,       "Line3",     W,         "",                   3120, 2880, 3120, 3480, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Line,       "Line4",     W,         "",                   2160, 3480, 2160, 3960, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Line,       "Line5",     W,         "",                   1080, 3480, 1080, 3960, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Line,       "Line6",     W,         "",                    120, 2880,  120, 3480, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Line,       "Line7",     W,         "",                   1080, 2400, 2160, 2400, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Line,       "Line8",     W,         "",                    120, 2880, 1080, 2880, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Line,       "Line9",     W,         "",                   2160, 2880, 3120, 2880, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Line,       "Line10",    W,         "",                    120, 3480, 1080, 3480, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Line,       "Line11",    W,         "",                   1080, 3960, 2160, 3960, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Line,       "Line12",    W,         "",                   2160, 3480, 3120, 3480, LineBlue, DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "Cursor pad outline"},
{K::Picture,    "Image1",    W,         "",                   8160,  120, 1200,  390, SYS,      DEF,      NoFont, A::Left,  B::None,  -1, true,  false, "KORU logo"},

// First row: POWER, INPUT SELECT, MENU.
{K::Frame,      "Frame1",    W,         "",                    120,  120, 1932,  975, Grey,     DEF,      NoFont, A::Left,  B::None,   0, true,  false, "POWER group"},
{K::Label,      "Label1",    "Frame1",  "POWER",               120,  240, 1695,  315, Grey,     "#C00000", G9B,   A::Centre, B::None,  2, true,  false, "POWER"},
{K::PushButton, "Command17", "Frame1",  "ON",                  120,  600,  735,  300, Green,    DEF,      G9B,    A::Centre, B::None,  1, true,  false, "POWER ON"},
{K::PushButton, "Command18", "Frame1",  "OFF",                1080,  600,  735,  300, Pink,     DEF,      G9B,    A::Centre, B::None, 29, true,  false, "POWER OFF"},
{K::Frame,      "Frame2",    W,         "",                   2280,  120, 3132,  972, Grey,     DEF,      NoFont, A::Left,  B::None,   3, true,  false, "INPUT SELECT group"},
{K::Label,      "Label2",    "Frame2",  "INPUT SELECT",        360,  240, 2295,  315, Grey,     DEF,      G9B,    A::Centre, B::None,  4, true,  false, "INPUT SELECT"},
{K::PushButton, "Command27", "Frame2",  "PC",                  120,  600,  732,  300, Cyan,     DEF,      G9B,    A::Centre, B::None, 38, true,  false, "Input PC"},
{K::PushButton, "Command28", "Frame2",  "MCI",                1080,  600,  732,  300, Cyan,     DEF,      G9B,    A::Centre, B::None, 39, true,  false, "Input MCI"},
{K::PushButton, "Command29", "Frame2",  "Video",              1920,  600,  975,  300, Cyan,     DEF,      G9B,    A::Centre, B::None, 40, true,  false, "Input Video"},
{K::Frame,      "Frame6",    W,         "",                   5640,  120, 1932,  972, Grey,     DEF,      NoFont, A::Left,  B::None,  14, true,  false, "MENU group"},
{K::Label,      "Label7",    "Frame6",  "MENU",                240,  225, 1455,  300, Grey,     DEF,      G9B,    A::Centre, B::None, 15, true,  false, "MENU"},
{K::PushButton, "Command23", "Frame6",  "ON",                  240,  600,  615,  300, Green,    DEF,      G9B,    A::Centre, B::None, 34, true,  false, "MENU ON"},
{K::PushButton, "Command24", "Frame6",  "OFF",                1080,  600,  615,  300, Pink,     DEF,      G9B,    A::Centre, B::None, 35, true,  false, "MENU OFF"},

// Second row: AUDIO MUTE, VIDEO MUTE, FREEZE, VIDEO SCREEN.
{K::Frame,      "Frame3",    W,         "",                    120, 1200, 1815,  972, Grey,     DEF,      NoFont, A::Left,  B::None,   8, true,  false, "AUDIO MUTE group"},
{K::Label,      "Label4",    "Frame3",  "AUDIO MUTE",          120,  240, 1575,  315, Grey,     DEF,      G9B,    A::Centre, B::None,  9, true,  false, "AUDIO MUTE"},
{K::PushButton, "Command19", "Frame3",  "ON",                  120,  600,  735,  300, Green,    DEF,      G9B,    A::Centre, B::None, 30, true,  false, "AUDIO MUTE ON"},
{K::PushButton, "Command20", "Frame3",  "OFF",                 960,  600,  735,  300, Pink,     DEF,      G9B,    A::Centre, B::None, 31, true,  false, "AUDIO MUTE OFF"},
{K::Frame,      "Frame4",    W,         "",                   2040, 1200, 1815,  972, Grey,     DEF,      NoFont, A::Left,  B::None,  10, true,  false, "VIDEO MUTE group"},
{K::Label,      "Label5",    "Frame4",  "VIDEO MUTE",          120,  240, 1575,  330, Grey,     DEF,      G9B,    A::Centre, B::None, 11, true,  false, "VIDEO MUTE"},
{K::PushButton, "Command21", "Frame4",  "ON",                  120,  600,  735,  300, Green,    DEF,      G9B,    A::Centre, B::None, 32, true,  false, "VIDEO MUTE ON"},
{K::PushButton, "Command22", "Frame4",  "OFF",                 960,  600,  735,  300, Pink,     DEF,      G9B,    A::Centre, B::None, 33, true,  false, "VIDEO MUTE OFF"},
{K::Frame,      "Frame7",    W,         "",                   5280, 1200, 1692,  972, Grey,     DEF,      NoFont, A::Left,  B::None,  25, true,  false, "FREEZE group"},
{K::Label,      "Label8",    "Frame7",  "FREEZE",              120,  240, 1455,  315, Grey,     DEF,      G9B,    A::Centre, B::None, 26, true,  false, "FREEZE"},
{K::PushButton, "Command25", "Frame7",  "ON",                  120,  600,  615,  300, Green,    DEF,      G9B,    A::Centre, B::None, 36, true,  false, "FREEZE ON"},
{K::PushButton, "Command26", "Frame7",  "OFF",                 960,  600,  615,  300, Pink,     DEF,      G9B,    A::Centre, B::None, 37, true,  false, "FREEZE OFF"},
{K::Frame,      "Frame5",    W,         "",                   7080, 1200, 2295,  972, Grey,     DEF,      NoFont, A::Left,  B::None,  12, true,  false, "VIDEO SCREEN group"},
{K::Label,      "Label6",    "Frame5",  "VIDEO  SCREEN",       120,  240, 2055,  330, Grey,     DEF,      G9B,    A::Centre, B::None, 13, true,  false, "VIDEO SCREEN"},
{K::PushButton, "Command31", "Frame5",  "Normal",              120,  600,  975,  300, Cyan,     DEF,      G9,     A::Centre, B::None, 41, true,  false, "VIDEO SCREEN Normal"},
{K::PushButton, "Command32", "Frame5",  "Wide",               1320,  600,  855,  300, Cyan,     DEF,      G9,     A::Centre, B::None, 42, true,  false, "VIDEO SCREEN Wide"},

// The MCI PAGE pair and the six adjustment pairs, each title above "+" above "-".
{K::Label,      "Label15",   W,         "MCI PAGE",           3960, 1320, 1215,  255, Grey,     DEF,      G825,   A::Centre, B::None, 66, true,  false, "MCI PAGE"},
{K::PushButton, "Command38", W,         "+",                  4320, 1560,  375,  255, Cyan,     DEF,      P9,     A::Centre, B::None, 59, true,  false, "MCI PAGE +"},
{K::PushButton, "Command39", W,         "-",                  4320, 1920,  375,  255, Cyan,     DEF,      P9,     A::Centre, B::None, 60, true,  false, "MCI PAGE -"},
{K::Label,      "Label3",    W,         "VOL",                3360, 2520,  615,  255, Grey,     DEF,      G9B,    A::Centre, B::None,  7, true,  false, "VOL"},
{K::PushButton, "Command1",  W,         "+",                  3480, 2880,  375,  255, Orange,   DEF,      P9B,    A::Centre, B::None,  5, true,  false, "VOL +"},
{K::PushButton, "Command2",  W,         "-",                  3480, 3240,  375,  255, Orange,   DEF,      P9B,    A::Centre, B::None,  6, true,  false, "VOL -"},
{K::Label,      "Label13",   W,         "Zoom",               4050, 2520,  735,  255, Grey,     DEF,      G9,     A::Centre, B::None, 55, true,  false, "Zoom"},
{K::PushButton, "Command15", W,         "+",                  4200, 2880,  375,  255, Peach,    DEF,      P9,     A::Centre, B::None, 53, true,  false, "Zoom +"},
{K::PushButton, "Command35", W,         "-",                  4200, 3240,  375,  255, Peach,    DEF,      P9,     A::Centre, B::None, 54, true,  false, "Zoom -"},
{K::Label,      "Label14",   W,         "Focus",              4800, 2520,  735,  255, Grey,     DEF,      G9,     A::Centre, B::None, 58, true,  false, "Focus"},
{K::PushButton, "Command36", W,         "+",                  5040, 2880,  375,  255, Peach,    DEF,      P9,     A::Centre, B::None, 56, true,  false, "Focus +"},
{K::PushButton, "Command37", W,         "-",                  5040, 3240,  375,  255, Peach,    DEF,      P9,     A::Centre, B::None, 57, true,  false, "Focus -"},
{K::Label,      "Label16",   W,         "Bright",             5520, 2520,  855,  300, Grey,     DEF,      G9,     A::Centre, B::None, 69, true,  false, "Bright"},
{K::PushButton, "Command30", W,         "+",                  5760, 2880,  375,  255, Cyan,     DEF,      P9,     A::Centre, B::None, 67, true,  false, "Bright +"},
{K::PushButton, "Command42", W,         "-",                  5760, 3240,  375,  255, Cyan,     DEF,      P9,     A::Centre, B::None, 68, true,  false, "Bright -"},
{K::Label,      "Label17",   W,         "D.Zoom",             6450, 2535,  825,  315, Grey,     DEF,      G9,     A::Centre, B::None, 72, true,  false, "D.Zoom"},
{K::PushButton, "Command48", W,         "+",                  6645, 2880,  375,  255, Cyan,     DEF,      P9,     A::Centre, B::None, 70, true,  false, "D.Zoom +"},
{K::PushButton, "Command49", W,         "-",                  6660, 3240,  375,  255, Cyan,     DEF,      P9,     A::Centre, B::None, 71, true,  false, "D.Zoom -"},
{K::Label,      "Label18",   W,         "Keystone",           7320, 2520,  975,  285, Grey,     DEF,      G9,     A::Centre, B::None, 75, true,  false, "Keystone"},
{K::PushButton, "Command50", W,         "+",                  7560, 2880,  375,  255, Cyan,     DEF,      P9,     A::Centre, B::None, 73, true,  false, "Keystone +"},
{K::PushButton, "Command51", W,         "-",                  7560, 3240,  375,  255, Cyan,     DEF,      P9,     A::Centre, B::None, 74, true,  false, "Keystone -"},

// The cursor pad, R-CLICK in its lower right notch, ZOOM and FOCUS beneath.
{K::PushButton, "Command5",  W,         "↑",                  1200, 2520,  855,  375, Peach,    DEF,      P9B,    A::Centre, B::None, 18, true,  false, "Cursor up"},
{K::PushButton, "Command9",  W,         "←",                   240, 3000,  855,  375, Peach,    DEF,      P9B,    A::Centre, B::None, 22, true,  false, "Cursor left"},
{K::PushButton, "Command6",  W,         "SELECT",             1200, 3000,  855,  375, "#FF8000", DEF,     G9,     A::Centre, B::None, 19, true,  false, "Cursor select"},
{K::PushButton, "Command8",  W,         "→",                  2160, 3000,  855,  375, Peach,    DEF,      P9B,    A::Centre, B::None, 21, true,  false, "Cursor right"},
{K::PushButton, "Command7",  W,         "↓",                  1200, 3480,  855,  375, Peach,    DEF,      P9B,    A::Centre, B::None, 20, true,  false, "Cursor down"},
{K::PushButton, "Command40", W,         "R-CLICK",            2235, 3645,  930,  330, Peach,    DEF,      G9,     A::Centre, B::None, 61, true,  false, "Right click"},
{K::PushButton, "Command10", W,         "ZOOM",                120, 4320,  975,  375, Peach,    DEF,      G9B,    A::Centre, B::None, 23, true,  false, "ZOOM mode"},
{K::PushButton, "Command11", W,         "FOCUS",              1200, 4320,  975,  375, Peach,    DEF,      G9B,    A::Centre, B::None, 24, true,  false, "FOCUS mode"},

// The right-hand column and the port button.
{K::PushButton, "Command13", W,         "A-IMAGE",            8280, 2880, 1080,  250, "#00C0C0", DEF,     G9,     A::Centre, B::None, 27, true,  false, "A-IMAGE"},
{K::PushButton, "Command4",  W,         "NORMAL",             8280, 3360, 1095,  250, Lilac,    DEF,      G9,     A::Centre, B::None, 17, true,  false, "NORMAL"},
{K::PushButton, "Command3",  W,         "DISPLAY CLEAR",      8280, 3600, 1095,  492, Lilac,    DEF,      G9,     A::Centre, B::None, 16, true,  false, "DISPLAY CLEAR"},
{K::PushButton, "Command16", W,         "END",                8280, 4320, 1095,  375, Grey,     DEF,      G9B,    A::Centre, B::None, 28, true,  false, "END program"},
{K::PushButton, "Command33", W,         "COM",                4080, 4200, 1815,  375, SYS,      DEF,      P9,     A::Centre, B::None, 43, true,  false, "Port settings"},

// The port panel, hidden at start; it covers the COM button when shown.
{K::Frame,      "Frame8",    W,         "",                   3600, 3600, 2775, 1185, Grey,     DEF,      NoFont, A::Left,  B::None,  44, false, false, "Port settings panel"},
{K::OptionButton, "Option1", "Frame8",  "COM1",                225,  195,  990,  330, Grey,     DEF,      G9B,    A::Left,  B::None,  45, true,  false, "Port COM1"},
{K::OptionButton, "Option2", "Frame8",  "COM2",               1590,  195, 1050,  330, Grey,     DEF,      G9B,    A::Left,  B::None,  46, true,  false, "Port COM2"},
{K::Frame,      "Frame10",   "Frame8",  "",                    120,  495, 2535,  615, Grey,     DEF,      NoFont, A::Left,  B::None,  80, true,  false, "Speed group"},
{K::OptionButton, "Option3", "Frame10", "19200",               120,  195, 1200,  345, Grey,     DEF,      G9B,    A::Left,  B::None,  81, true,  true,  "Speed 19200 baud"},
{K::OptionButton, "Option4", "Frame10", "9600",               1440,  195, 1005,  360, Grey,     DEF,      G9B,    A::Left,  B::None,  82, true,  false, "Speed 9600 baud"},

// The lower band: the data monitor, its toggle, the queries, the STATUS line, C01.
{K::Frame,      "Frame9",    W,         "",                    120, 4920, 6735, 1068, Grey,     DEF,      NoFont, A::Left,  B::None,  47, true,  false, "Data monitor"},
{K::Label,      "Label9",    "Frame9",  "TXD",                 120,  210,  495,  375, Grey,     DEF,      G9,     A::Right, B::None,  48, true,  false, "TXD"},
{K::Label,      "Label10",   "Frame9",  "RXD",                 180,  585,  450,  390, Grey,     DEF,      G9,     A::Right, B::None,  49, true,  false, "RXD"},
{K::Label,      "Label11",   "Frame9",  "",                    720,  195, 5895,  300, White,    DEF,      P975B,  A::Left,  B::Single, 50, true, false, "TXD line"},
{K::Label,      "Label12",   "Frame9",  "",                    705,  600, 5895,  300, White,    DEF,      P975B,  A::Left,  B::Single, 51, true, false, "RXD line"},
{K::PushButton, "Command34", W,         "データを表示する",   8160, 5040, 1212,  375, Grey,     DEF,      G9,     A::Centre, B::None, 52, false, false, "Data monitor toggle"},
{K::PushButton, "Command44", W,         "STATUS",             7200, 5640, 1095,  255, Cyan,     DEF,      G825B,  A::Centre, B::None, 62, true,  false, "STATUS query"},
{K::PushButton, "Command45", W,         "MODE",               7200, 5880, 1095,  255, Cyan,     DEF,      G825B,  A::Centre, B::None, 63, true,  false, "MODE query"},
{K::PushButton, "Command46", W,         "L-TIME",             8280, 5640, 1095,  255, Cyan,     DEF,      G825B,  A::Centre, B::None, 64, true,  false, "Lamp time query"},
{K::PushButton, "Command47", W,         "SETTING",            8280, 5880, 1095,  255, Cyan,     DEF,      G825B,  A::Centre, B::None, 65, true,  false, "SETTING query"},
{K::PushButton, "Command52", W,         "C01",                 120, 6120,  495,  255, Pink,     DEF,      G9,     A::Centre, B::None, 76, true,  false, "Command C01"},
{K::Frame,      "Frame15",   W,         "",                    720, 6000, 6135,  492, Grey,     DEF,      NoFont, A::Left,  B::None,  77, true,  false, "STATUS group"},
{K::Label,      "Label26",   "Frame15", "STATUS",               90,  150,  810,  270, Grey,     DEF,      G825,   A::Left,  B::None,  79, true,  false, "STATUS"},
{K::Label,      "Label25",   "Frame15", "",                    960,  120, 5055,  300, White,    "#FF0000", P9B,   A::Left,  B::Single, 78, true, false, "Status line"},
};
// clang-format on

} // namespace

const std::vector<ControlEntry> &controlInventory()
{
    return kInventory;
}

const ControlEntry *findControl(const char *name)
{
    for (const ControlEntry &entry : kInventory) {
        if (std::strcmp(entry.name, name) == 0)
            return &entry;
    }
    return nullptr;
}

} // namespace koru::layout
