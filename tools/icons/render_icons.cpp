// Draws the 67 member-list icons of the desktop window (24-bit BMP, 32 x 32 and 64 x 64) and
// the application icon (PNG at the usual sizes) from simple shapes, and writes them into the
// folder given on the command line. The window loads the member icons in this order; the n-th
// file is image n.
//
//   render_icons <output folder>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 32;

struct Rgb {
  std::uint8_t r, g, b;
};
struct Pt {
  double x, y;
};

// A shape answers whether a point (pixel units, y downwards) lies inside it.
using Shape = std::function<bool(double, double)>;

// A picture is the shapes painted on it in order; it is drawn at any scale when written, so
// the same icon comes out crisp at 32 x 32 and at 64 x 64 for a display scaled twice.
class Canvas {
 public:
  explicit Canvas(Rgb background) : background_(background) {}

  void Fill(Shape shape, Rgb c) { layers_.push_back({std::move(shape), c}); }

  // `size` x `size` pixels, each blended by the 4 x 4 sample coverage of each shape in turn.
  std::vector<Rgb> Render(int size) const {
    const double scale = static_cast<double>(size) / kSize;
    std::vector<Rgb> px(static_cast<std::size_t>(size * size), background_);
    for (const Layer& layer : layers_) {
      for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
          int hits = 0;
          for (int sy = 0; sy < 4; ++sy) {
            for (int sx = 0; sx < 4; ++sx) {
              hits += layer.shape((x + (sx + 0.5) / 4) / scale, (y + (sy + 0.5) / 4) / scale);
            }
          }
          if (hits == 0) continue;
          Rgb& p = px[static_cast<std::size_t>(y * size + x)];
          auto mix = [hits](std::uint8_t from, std::uint8_t to) {
            return static_cast<std::uint8_t>((from * (16 - hits) + to * hits + 8) / 16);
          };
          p = {mix(p.r, layer.colour.r), mix(p.g, layer.colour.g), mix(p.b, layer.colour.b)};
        }
      }
    }
    return px;
  }

  // A 24-bit BMP: bottom-up rows, each padded to a multiple of 4 bytes.
  bool WriteBmp(const std::filesystem::path& file, int scale) const {
    const std::vector<Rgb> px = Render(kSize * scale);
    const std::uint32_t size = static_cast<std::uint32_t>(kSize * scale);
    const std::uint32_t row = (size * 3 + 3) / 4 * 4;
    const std::uint32_t data = row * size, offset = 14 + 40;
    std::vector<std::uint8_t> out;
    auto put = [&out](std::uint32_t v, int bytes) {
      for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    out = {'B', 'M'};
    put(offset + data, 4), put(0, 4), put(offset, 4);  // file header
    put(40, 4), put(size, 4), put(size, 4), put(1, 2), put(24, 2), put(0, 4), put(data, 4);
    put(2835 * static_cast<std::uint32_t>(scale), 4);  // pixels per metre: 72 dpi per scale
    put(2835 * static_cast<std::uint32_t>(scale), 4), put(0, 4), put(0, 4);
    for (int y = static_cast<int>(size) - 1; y >= 0; --y) {
      for (std::uint32_t x = 0; x < size; ++x) {
        const Rgb& p = px[y * size + x];
        out.insert(out.end(), {p.b, p.g, p.r});
      }
      out.resize(out.size() + (row - size * 3), 0);
    }
    std::ofstream f(file, std::ios::binary);
    f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(f);
  }

 private:
  struct Layer {
    Shape shape;
    Rgb colour;
  };
  Rgb background_;
  std::vector<Layer> layers_;
};

// ---- PNG, for the application icon, which needs transparency ----

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n, std::uint32_t crc = 0xFFFFFFFFu) {
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc;
}

// An RGBA PNG whose image data is stored uncompressed in the zlib stream: a few kilobytes
// for an icon, and no library needed.
bool WritePng(const std::filesystem::path& file, int size, const std::vector<Rgb>& px,
              const std::vector<std::uint8_t>& alpha) {
  std::vector<std::uint8_t> raw;  // each row: filter type 0, then the pixels
  for (int y = 0; y < size; ++y) {
    raw.push_back(0);
    for (int x = 0; x < size; ++x) {
      const std::size_t i = static_cast<std::size_t>(y * size + x);
      raw.insert(raw.end(), {px[i].r, px[i].g, px[i].b, alpha[i]});
    }
  }
  std::vector<std::uint8_t> z = {0x78, 0x01};
  std::uint32_t a = 1, b = 0;  // Adler-32 of the raw data
  for (std::uint8_t v : raw) a = (a + v) % 65521, b = (b + a) % 65521;
  for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
    const bool last = at + n >= raw.size();
    z.insert(z.end(), {static_cast<std::uint8_t>(last), static_cast<std::uint8_t>(n),
                       static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(~n),
                       static_cast<std::uint8_t>(~n >> 8)});
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
             raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    if (last) break;
  }
  const std::uint32_t adler = (b << 16) | a;
  for (int i = 3; i >= 0; --i) z.push_back(static_cast<std::uint8_t>(adler >> (8 * i)));

  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto be32 = [](std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 3; i >= 0; --i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
  };
  auto chunk = [&](const char* type, const std::vector<std::uint8_t>& data) {
    be32(out, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    be32(out, Crc32(body.data(), body.size()) ^ 0xFFFFFFFFu);
  };
  std::vector<std::uint8_t> header;
  be32(header, static_cast<std::uint32_t>(size));
  be32(header, static_cast<std::uint32_t>(size));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
  chunk("IHDR", header);
  chunk("IDAT", z);
  chunk("IEND", {});
  std::ofstream f(file, std::ios::binary);
  f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return static_cast<bool>(f);
}

// ---- Shapes ----

Shape Circle(double cx, double cy, double r) {
  return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}
Shape Ellipse(double cx, double cy, double rx, double ry) {
  return [=](double x, double y) {
    return (x - cx) * (x - cx) / (rx * rx) + (y - cy) * (y - cy) / (ry * ry) <= 1;
  };
}
Shape Rect(double x0, double y0, double x1, double y1) {
  return [=](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}
Shape Polygon(std::vector<Pt> pts) {  // even-odd rule
  return [pts = std::move(pts)](double x, double y) {
    bool in = false;
    for (std::size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
      const Pt &a = pts[i], &b = pts[j];
      if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
    }
    return in;
  };
}
// A thick line through the points, with round joints and ends.
Shape Line(std::vector<Pt> pts, double width) {
  return [pts = std::move(pts), h = width / 2](double x, double y) {
    for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
      const Pt &a = pts[i], &b = pts[i + 1];
      const double dx = b.x - a.x, dy = b.y - a.y;
      double t = ((x - a.x) * dx + (y - a.y) * dy) / (dx * dx + dy * dy);
      t = std::fmax(0, std::fmin(1, t));
      const double ex = a.x + t * dx - x, ey = a.y + t * dy - y;
      if (ex * ex + ey * ey <= h * h) return true;
    }
    return false;
  };
}
// A star with `n` points between radii `outer` and `inner`, the first point upwards.
Shape Star(double cx, double cy, int n, double outer, double inner) {
  std::vector<Pt> pts;
  for (int i = 0; i < 2 * n; ++i) {
    const double a = -std::numbers::pi / 2 + i * std::numbers::pi / n, r = i % 2 ? inner : outer;
    pts.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  return Polygon(std::move(pts));
}
Shape Or(Shape a, Shape b) {
  return [=](double x, double y) { return a(x, y) || b(x, y); };
}
Shape And(Shape a, Shape b) {
  return [=](double x, double y) { return a(x, y) && b(x, y); };
}
Shape Minus(Shape a, Shape b) {
  return [=](double x, double y) { return a(x, y) && !b(x, y); };
}
Shape RoundRect(double x0, double y0, double x1, double y1, double r) {
  Shape s = Or(Rect(x0 + r, y0, x1 - r, y1), Rect(x0, y0 + r, x1, y1 - r));
  for (Pt c : {Pt{x0 + r, y0 + r}, Pt{x1 - r, y0 + r}, Pt{x0 + r, y1 - r}, Pt{x1 - r, y1 - r}}) {
    s = Or(s, Circle(c.x, c.y, r));
  }
  return s;
}
// A 5 x 7 glyph, '#' for ink, drawn with `scale` pixels per dot from (x0, y0).
Shape Glyph(const std::array<const char*, 7>& rows, double x0, double y0, double scale) {
  return [=](double x, double y) {
    const int gx = static_cast<int>(std::floor((x - x0) / scale));
    const int gy = static_cast<int>(std::floor((y - y0) / scale));
    return gx >= 0 && gx < 5 && gy >= 0 && gy < 7 && rows[static_cast<std::size_t>(gy)][gx] == '#';
  };
}

// ---- Colours ----

constexpr Rgb kPanel{30, 37, 48}, kPanelEdge{74, 82, 96};            // plain icons
constexpr Rgb kClassic{28, 38, 54}, kClassicEdge{86, 100, 122};      // first game's tiers
constexpr Rgb kExpansion{14, 40, 44}, kExpansionEdge{88, 208, 224};  // expansion's tiers
constexpr Rgb kTourneyBg{60, 14, 20}, kGold{240, 192, 64}, kPale{255, 236, 160};
constexpr Rgb kClan{46, 28, 18}, kClanEdge{138, 90, 58};
constexpr Rgb kBlue{60, 124, 230}, kRed{220, 64, 42}, kGreen{134, 216, 106}, kViolet{176, 124, 240};
constexpr Rgb kWhite{240, 240, 240}, kDark{16, 18, 24}, kDim{60, 70, 86};
constexpr Rgb kOnline{76, 208, 96}, kOffline{124, 128, 136}, kFriend{90, 160, 240};

Canvas Framed(Rgb bg, Rgb edge, int border) {
  Canvas c(edge);
  c.Fill(Rect(1, 1, kSize - 1, kSize - 1), border == 2 ? kDark : bg);
  if (border == 2) c.Fill(Rect(2, 2, kSize - 2, kSize - 2), bg);
  return c;
}

// ---- Race emblems, centred on (16, 12) ----

enum class Race { kHuman, kOrc, kUndead, kNightElf, kRandom, kTourney };

void Emblem(Canvas& c, Race race, Rgb bg) {
  switch (race) {
    case Race::kHuman: {  // a blue shield with a white cross
      Shape shield = Polygon({{8, 2}, {24, 2}, {24, 11}, {22, 16}, {16, 21}, {10, 16}, {8, 11}});
      c.Fill(shield, kBlue);
      c.Fill(And(shield, Or(Rect(14.5, 4, 17.5, 19), Rect(10, 7, 22, 10))), kWhite);
      break;
    }
    case Race::kOrc:  // a red spiked disc with a dark core
      c.Fill(Or(Star(16, 11.5, 8, 10, 5.5), Circle(16, 11.5, 6.5)), kRed);
      c.Fill(Circle(16, 11.5, 2.5), bg);
      break;
    case Race::kUndead:  // a pale green skull: round crown, square jaw, dark sockets
      c.Fill(Or(Circle(16, 10, 7.5), RoundRect(11, 11, 21, 21, 2)), kGreen);
      c.Fill(Or(Circle(12.8, 11, 2.2), Circle(19.2, 11, 2.2)), bg);
      c.Fill(Polygon({{16, 13.5}, {14.5, 16.5}, {17.5, 16.5}}), bg);
      c.Fill(Or(Rect(13.5, 18, 14.5, 21), Or(Rect(15.5, 18, 16.5, 21), Rect(17.5, 18, 18.5, 21))),
             bg);
      break;
    case Race::kNightElf:  // a violet crescent moon and a small four-point star
      c.Fill(Minus(Circle(14, 11.5, 9.5), Circle(18.5, 9, 8)), kViolet);
      c.Fill(Star(22.5, 14, 4, 4, 1.2), kPale);
      break;
    case Race::kRandom:  // a disc quartered in the four race colours
      c.Fill(And(Circle(16, 11.5, 9.5), Rect(0, 0, 16, 11.5)), kBlue);
      c.Fill(And(Circle(16, 11.5, 9.5), Rect(16, 0, 32, 11.5)), kRed);
      c.Fill(And(Circle(16, 11.5, 9.5), Rect(16, 11.5, 32, 32)), kGreen);
      c.Fill(And(Circle(16, 11.5, 9.5), Rect(0, 11.5, 16, 32)), kViolet);
      c.Fill(And(Circle(16, 11.5, 9.6), Or(Rect(15.25, 0, 16.75, 32), Rect(0, 10.75, 32, 12.25))),
             bg);
      break;
    case Race::kTourney:  // a gold five-point star
      c.Fill(Star(16, 12, 5, 10.5, 4.3), kGold);
      break;
  }
}

// Rising bars along the bottom: `slots` bars, the first `tier` lit.
void TierBars(Canvas& c, int tier, int slots) {
  const double width = slots * 4 - 1, x0 = (kSize - width) / 2;
  for (int i = 0; i < slots; ++i) {
    const double x = x0 + i * 4, top = 26.0 - i;
    c.Fill(Rect(x, top, x + 3, 29), i < tier ? kPale : kDim);
  }
}

Canvas TierIcon(Race race, int tier, bool expansion) {
  const bool tourney = race == Race::kTourney;
  const Rgb bg = tourney ? kTourneyBg : expansion ? kExpansion : kClassic;
  Canvas c = tourney     ? Framed(bg, kGold, 2)
             : expansion ? Framed(bg, kExpansionEdge, 2)
                         : Framed(bg, kClassicEdge, 1);
  Emblem(c, race, bg);
  TierBars(c, tier, expansion ? 6 : 5);
  return c;
}

// ---- Clan ranks 0 (initiate of less than a week) to 4 (leader): rising chevrons ----

Shape Chevron(double top, double width) {
  return Line({{8, top}, {16, top + 5}, {24, top}}, width);
}

Canvas ClanIcon(int rank) {
  Canvas c = Framed(kClan, kClanEdge, 1);
  if (rank == 0) {  // one hollow grey chevron
    c.Fill(Minus(Chevron(21, 4.5), Chevron(21, 1.8)), {170, 170, 170});
    return c;
  }
  static constexpr std::array<Rgb, 5> kMetal{{{}, {200, 130, 74}, {208, 216, 224}, kGold, kGold}};
  const int count = rank == 1 ? 1 : rank == 2 ? 2 : 3;
  for (int i = 0; i < count; ++i) c.Fill(Chevron(21 - i * 6.5, 4), kMetal[rank]);
  if (rank == 4) c.Fill(Star(16, 6.5, 5, 5.5, 2.3), kPale);
  return c;
}

// ---- Friends, squelch, channel operator, unknown ----

// A head and shoulders; `inset` shrinks it evenly (for outlines).
Shape Person(double cx, double scale, double inset = 0) {
  return Or(
      Circle(cx, 10.5, 4.5 * scale - inset),
      And(Ellipse(cx, 26, 8.5 * scale - inset, 9 * scale - inset), Rect(0, 0, 32, 27 - inset)));
}

Canvas PersonIcon(Rgb colour) {
  Canvas c = Framed(kPanel, kPanelEdge, 1);
  c.Fill(Person(16, 1), colour);
  return c;
}

Canvas Board(Rgb light, Rgb dark) {  // a 4 x 4 checkerboard
  Canvas c = Framed(kPanel, kPanelEdge, 1);
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) {
      c.Fill(Rect(6 + col * 5, 6 + row * 5, 11 + col * 5, 11 + row * 5),
             (row + col) % 2 ? dark : light);
    }
  }
  return c;
}

Canvas Unknown() {
  Canvas c = Framed(kPanel, kPanelEdge, 1);
  c.Fill(Circle(16, 16, 12.5), kOffline);
  c.Fill(Glyph({".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."}, 8.5, 5.5, 3),
         kWhite);
  return c;
}

// ---- The application icon: a crow on a round badge, transparent around it ----

Shape Badge() {
  return Circle(16, 16, 15.5);
}

Canvas AppIcon() {
  Canvas c(kDark);
  c.Fill(Badge(), kGold);
  c.Fill(Circle(16, 16, 14), {26, 62, 98});
  const Rgb crow{10, 12, 18};
  c.Fill(Polygon({{6, 26.5},
                  {9.5, 21},
                  {12, 16},
                  {17, 12.5},
                  {22.5, 13.5},
                  {21.5, 19},
                  {17, 23},
                  {11.5, 25}}),
         crow);                                                    // body and tail
  c.Fill(Circle(20.5, 11.5, 4.2), crow);                           // head
  c.Fill(Polygon({{23.5, 9.6}, {29, 12}, {23.8, 13.6}}), crow);    // beak
  c.Fill(Line({{12.5, 18.5}, {18.5, 15.5}}, 1.2), {58, 84, 120});  // the wing's edge
  c.Fill(Circle(21.4, 10.6, 1.1), kWhite);                         // eye
  c.Fill(Or(Line({{15, 23}, {14.5, 27}}, 1.2), Line({{17.5, 22}, {18, 27}}, 1.2)), kGold);  // legs
  return c;
}

// How much of each pixel a shape covers, 0 to 255, in 4 x 4 samples.
std::vector<std::uint8_t> Coverage(const Shape& shape, int size) {
  const double scale = static_cast<double>(size) / kSize;
  std::vector<std::uint8_t> alpha(static_cast<std::size_t>(size * size));
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      int hits = 0;
      for (int sy = 0; sy < 4; ++sy) {
        for (int sx = 0; sx < 4; ++sx) {
          hits += shape((x + (sx + 0.5) / 4) / scale, (y + (sy + 0.5) / 4) / scale);
        }
      }
      alpha[static_cast<std::size_t>(y * size + x)] = static_cast<std::uint8_t>(hits * 255 / 16);
    }
  }
  return alpha;
}

struct Icon {
  std::string file;
  Canvas image;
};

std::vector<Icon> AllIcons() {
  std::vector<Icon> icons;
  auto add = [&icons](std::string file, Canvas image) {
    icons.push_back({std::move(file), image});
  };
  struct Named {
    Race race;
    const char* name;
  };
  static constexpr std::array<Named, 6> kRaces{{{Race::kHuman, "human"},
                                                {Race::kOrc, "orc"},
                                                {Race::kUndead, "undead"},
                                                {Race::kNightElf, "nightelf"},
                                                {Race::kRandom, "random"},
                                                {Race::kTourney, "tourney"}}};
  add("bnet-unknown.bmp", Unknown());
  add("tier1-orc.bmp", TierIcon(Race::kOrc, 1, false));  // tier 1 of every race
  for (std::size_t r = 0; r < 5; ++r) {
    for (int tier = 2; tier <= 5; ++tier) {
      add("tier" + std::to_string(tier) + "-" + kRaces[r].name + ".bmp",
          TierIcon(kRaces[r].race, tier, false));
    }
  }
  add("tier1x-orc.bmp", TierIcon(Race::kOrc, 1, true));
  for (const Named& r : kRaces) {
    for (int tier = 2; tier <= 6; ++tier) {
      add("tier" + std::to_string(tier) + "x-" + r.name + ".bmp", TierIcon(r.race, tier, true));
    }
  }
  const char* ranks[] = {"initiate_less_week", "initiate", "member", "officer", "leader"};
  for (int rank = 0; rank < 5; ++rank) {
    add(std::string("clan-orc-") + ranks[rank] + ".bmp", ClanIcon(rank));
  }
  add("friends-online.bmp", PersonIcon(kOnline));
  add("friends-offline.bmp", PersonIcon(kOffline));
  {  // one friend, and the outline of one who has not added us back
    Canvas c = Framed(kPanel, kPanelEdge, 1);
    c.Fill(Minus(Person(21.5, 0.8), Person(21.5, 0.8, 1.5)), kFriend);
    c.Fill(Person(11, 0.8), kFriend);
    add("friends-nonmutual.bmp", c);
  }
  {  // two friends side by side
    Canvas c = Framed(kPanel, kPanelEdge, 1);
    c.Fill(Person(21.5, 0.8), kFriend);
    c.Fill(Person(11, 0.95), kPanel);  // a gap between the two
    c.Fill(Person(11, 0.8), kFriend);
    add("friends-mutual.bmp", c);
  }
  {  // a speech bubble with three dots
    Canvas c = Framed(kPanel, kPanelEdge, 1);
    c.Fill(Or(RoundRect(4, 6, 28, 22, 4), Polygon({{8, 20}, {15, 20}, {7, 28}})), kOnline);
    for (double x : {10.0, 16.0, 22.0}) c.Fill(Circle(x, 14, 1.8), kDark);
    add("friends-chatroom.bmp", c);
  }
  {  // a dim board under a gold padlock
    Canvas c = Board({150, 120, 96}, {92, 70, 56});
    c.Fill(Minus(Circle(22.5, 17, 5), Circle(22.5, 17, 3)), kGold);
    c.Fill(RoundRect(16, 17, 29, 29, 1.5), kGold);
    c.Fill(Or(Circle(22.5, 21.5, 1.5), Rect(22, 21.5, 23, 26)), kDark);
    add("friends-privategame.bmp", c);
  }
  add("friends-publicgame.bmp", Board({222, 245, 224}, kOnline));
  {  // a grey person under a red "no" sign
    Canvas c = PersonIcon(kOffline);
    Shape ring = Minus(Circle(16, 16, 13.5), Circle(16, 16, 10.5));
    c.Fill(Or(ring, And(Circle(16, 16, 11), Line({{8, 8}, {24, 24}}, 3))), {230, 40, 40});
    add("bnet-squelch.bmp", c);
  }
  {  // a gold crown
    Canvas c = Framed(kPanel, kPanelEdge, 1);
    c.Fill(Polygon({{5, 24}, {5, 10}, {10.5, 17}, {16, 7}, {21.5, 17}, {27, 10}, {27, 24}}), kGold);
    for (Pt p : {Pt{5, 9}, Pt{16, 6}, Pt{27, 9}}) c.Fill(Circle(p.x, p.y, 2.2), kPale);
    c.Fill(Rect(5, 20, 27, 21), {176, 130, 30});
    c.Fill(Circle(16, 22.5, 1.6), {210, 40, 40});
    add("bnet-channelops.bmp", c);
  }
  return icons;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const auto failed = [&](const std::filesystem::path& file) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], file.c_str());
    return 1;
  };
  // Each member icon at 32 x 32 and, for displays scaled twice, at 64 x 64 as name@2x.bmp.
  const std::vector<Icon> icons = AllIcons();
  for (const Icon& icon : icons) {
    const std::string stem = icon.file.substr(0, icon.file.size() - 4);
    if (!icon.image.WriteBmp(dir / icon.file, 1)) return failed(dir / icon.file);
    if (!icon.image.WriteBmp(dir / (stem + "@2x.bmp"), 2)) return failed(dir / (stem + "@2x.bmp"));
  }
  const Canvas app = AppIcon();
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const std::filesystem::path file = dir / ("corvane-" + std::to_string(size) + ".png");
    if (!WritePng(file, size, app.Render(size), Coverage(Badge(), size))) return failed(file);
  }
  return icons.size() == 67 ? 0 : 1;
}
