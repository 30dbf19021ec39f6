// Fonts through fontconfig (family names, aliases such as "Times New Roman" to its metric twin,
// bold faces) and FreeType (metrics, hinted and anti-aliased glyphs).
#include "images/glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <vector>

#include "store/file_access.h"
#include "text/DString.h"

namespace {

// One fontconfig configuration and one FreeType library per process.
FcConfig* FontConfig() {
  static const struct TConfig {
    FcConfig* Config = FcInitLoadConfigAndFonts();
    ~TConfig() {
      if (Config) FcConfigDestroy(Config);
    }
  } config;
  return config.Config;
}

FT_Library FreeType() {
  static FT_Library library = [] {
    FT_Library l = nullptr;
    return FT_Init_FreeType(&l) == 0 ? l : nullptr;
  }();
  return library;
}

// A chosen face and its line cell in font units: the ascent and descent the font gives for
// Windows when it has them (what the screen's text functions measure), else its own.
struct TMatch {
  std::string File;
  int Index = 0;
  bool Embolden = false;
  long Ascent = 0, Descent = 0, UnitsPerEm = 0;
};

bool ReadMetrics(TMatch& m) {
  FT_Library library = FreeType();
  FT_Face f = nullptr;
  if (!library || FT_New_Face(library, m.File.c_str(), m.Index, &f) != 0) return false;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    m.Ascent = os2->usWinAscent;
    m.Descent = os2->usWinDescent;
  } else {
    m.Ascent = f->ascender;
    m.Descent = -f->descender;
  }
  m.UnitsPerEm = f->units_per_EM;
  FT_Done_Face(f);
  return m.UnitsPerEm > 0;
}

bool AskFontConfig(const std::string& family, bool bold, TMatch& out) {
  FcConfig* config = FontConfig();
  if (!config) return false;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  FcChar8* file = nullptr;
  FcBool embolden = FcFalse;
  const bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
  if (ok) {
    out.File = reinterpret_cast<const char*>(file);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &out.Index) != FcResultMatch) out.Index = 0;
    // A family without a bold face is made bold by hand, as fontconfig advises.
    out.Embolden = FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden) == FcResultMatch && embolden;
  }
  FcPatternDestroy(match);
  return ok && ReadMetrics(out);
}

std::string& CacheFile() {
  static std::string file;
  return file;
}

std::string StatText(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "-";
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

// What fontconfig's choice depends on: its configuration and caches as the file system has them
// now (a new font installed runs fc-cache, which changes the cache folder).
std::string ConfigStamp() {
  std::string s = "VFM1";
  for (const char* name : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT", "XDG_CONFIG_HOME", "HOME"}) {
    const char* v = std::getenv(name);
    s += std::string("|") + (v ? v : "");
  }
  std::vector<std::string> paths = {"/etc/fonts", "/etc/fonts/fonts.conf", "/etc/fonts/conf.d", "/var/cache/fontconfig",
                                    "/usr/share/fonts", "/usr/local/share/fonts"};
  if (const char* home = std::getenv("HOME"); home && *home)
    for (const char* sub : {"/.config/fontconfig", "/.fonts", "/.local/share/fonts", "/.cache/fontconfig"})
      paths.push_back(home + std::string(sub));
  for (const std::string& p : paths) s += "|" + StatText(p);
  return s;
}

// The kept choices: "family<TAB>bold" -> "file<TAB>index<TAB>embolden<TAB>file stamp<TAB>ascent<TAB>
// descent<TAB>units per em".
struct TMatchCache {
  bool Loaded = false;
  std::string Stamp;
  std::map<std::string, std::string> Entries;
};

TMatchCache& Cache() {
  static TMatchCache cache;
  if (!cache.Loaded && !CacheFile().empty()) {
    cache.Loaded = true;
    cache.Stamp = ConfigStamp();
    std::string text;
    if (FileExists(CacheFile()) && LoadTextFromFile(CacheFile(), text)) {
      TStringList lines = SplitLines(text);
      if (!lines.empty() && lines[0] == cache.Stamp)
        for (size_t i = 1; i < lines.size(); ++i) {
          const size_t a = lines[i].find('\t'), b = a == std::string::npos ? a : lines[i].find('\t', a + 1);
          if (b != std::string::npos) cache.Entries[lines[i].substr(0, b)] = lines[i].substr(b + 1);
        }
    }
  }
  return cache;
}

bool MatchFont(const std::string& family, bool bold, TMatch& out) {
  const std::string key = family + "\t" + (bold ? "1" : "0");
  TMatchCache& cache = Cache();
  if (const auto it = cache.Entries.find(key); it != cache.Entries.end()) {
    const TStringList f = [&] {
      TStringList parts;
      size_t from = 0;
      for (size_t tab; (tab = it->second.find('\t', from)) != std::string::npos; from = tab + 1)
        parts.push_back(it->second.substr(from, tab - from));
      parts.push_back(it->second.substr(from));
      return parts;
    }();
    if (f.size() == 7 && StatText(f[0]) == f[3]) {
      out.File = f[0];
      out.Index = StrToIntDef(f[1], 0);
      out.Embolden = f[2] == "1";
      out.Ascent = StrToIntDef(f[4], 0);
      out.Descent = StrToIntDef(f[5], 0);
      out.UnitsPerEm = StrToIntDef(f[6], 0);
      if (out.UnitsPerEm > 0) return true;
    }
  }
  if (!AskFontConfig(family, bold, out)) return false;
  if (!CacheFile().empty()) {
    cache.Entries[key] = out.File + "\t" + std::to_string(out.Index) + "\t" + (out.Embolden ? "1" : "0") + "\t" +
                         StatText(out.File) + "\t" + std::to_string(out.Ascent) + "\t" + std::to_string(out.Descent) +
                         "\t" + std::to_string(out.UnitsPerEm);
    std::string text = cache.Stamp + "\n";
    for (const auto& [k, v] : cache.Entries) text += k + "\t" + v + "\n";
    SaveDerivedFile(CacheFile(), text);
  }
  return true;
}

int Scaled(long fontUnits, int pixels, int unitsPerEm) {
  return unitsPerEm > 0 ? static_cast<int>((fontUnits * pixels + unitsPerEm / 2) / unitsPerEm) : 0;
}

}  // namespace

struct TGlyphFont::TFace {
  FT_Face Face = nullptr;
  bool Embolden = false;
  std::array<int, 256> Widths;
  TFace() { Widths.fill(-1); }
  ~TFace() {
    if (Face) FT_Done_Face(Face);
  }
  // Loads the glyph of c, hinted; false when the face has none to give.
  bool Load(unsigned char c) {
    if (FT_Load_Char(Face, c, FT_LOAD_DEFAULT) != 0) return false;
    if (Embolden) FT_GlyphSlot_Embolden(Face->glyph);
    return true;
  }
};

void SetFontMatchCache(const std::string& path) { CacheFile() = path; }

TGlyphFont::TGlyphFont() = default;
TGlyphFont::~TGlyphFont() = default;

bool TGlyphFont::Open(const std::string& family, int points, bool bold) {
  F.reset();
  FFile.clear();
  FPixels = std::clamp((points * 96 + 36) / 72, 1, 500);  // points on a 96 dpi screen
  // A blank font of the size: the ascent and descent of a usual serif face.
  FAscent = (FPixels * 9 + 5) / 10;
  FDescent = (FPixels * 2 + 5) / 10;
  TMatch match;
  if (!MatchFont(family, bold, match)) return false;
  FAscent = Scaled(match.Ascent, FPixels, static_cast<int>(match.UnitsPerEm));
  FDescent = Scaled(match.Descent, FPixels, static_cast<int>(match.UnitsPerEm));
  FFile = match.File;
  FIndex = match.Index;
  FEmbolden = match.Embolden;
  return true;
}

// The face itself is read only when a glyph is wanted: a font used for its line height alone
// costs no more than the kept choice.
bool TGlyphFont::Face() {
  if (F) return F->Face != nullptr;
  F = std::make_unique<TFace>();
  FT_Library library = FreeType();
  if (FFile.empty() || !library || FT_New_Face(library, FFile.c_str(), FIndex, &F->Face) != 0) {
    F->Face = nullptr;
    return false;
  }
  if (FT_Set_Pixel_Sizes(F->Face, 0, static_cast<FT_UInt>(FPixels)) != 0) {
    FT_Done_Face(F->Face);
    F->Face = nullptr;
    return false;
  }
  F->Embolden = FEmbolden;
  return true;
}

int TGlyphFont::CharWidth(unsigned char c) {
  if (!Face()) return (FPixels + 1) / 2;
  int& w = F->Widths[c];
  if (w < 0) w = F->Load(c) ? static_cast<int>((F->Face->glyph->advance.x + 32) >> 6) : 0;
  return w;
}

void TGlyphFont::DrawChar(TBitmap24& picture, int x, int y, unsigned char c, TColor24 color) {
  if (!Face() || !F->Load(c)) return;
  const FT_GlyphSlot slot = F->Face->glyph;
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return;
  const FT_Bitmap& bm = slot->bitmap;
  if (bm.pixel_mode != FT_PIXEL_MODE_GRAY || !bm.buffer) return;
  const int left = x + slot->bitmap_left, top = y + FAscent - slot->bitmap_top;
  for (int row = 0; row < static_cast<int>(bm.rows); ++row) {
    const int py = top + row;
    if (py < 0 || py >= picture.Height) continue;
    const unsigned char* src = bm.buffer + static_cast<long>(row) * bm.pitch;
    for (int col = 0; col < static_cast<int>(bm.width); ++col) {
      const int px = left + col, a = src[col];
      if (px < 0 || px >= picture.Width || a == 0) continue;
      uint8_t* p = picture.At(px, py);
      p[0] = static_cast<uint8_t>(p[0] + (color.Blue - p[0]) * a / 255);
      p[1] = static_cast<uint8_t>(p[1] + (color.Green - p[1]) * a / 255);
      p[2] = static_cast<uint8_t>(p[2] + (color.Red - p[2]) * a / 255);
    }
  }
}
