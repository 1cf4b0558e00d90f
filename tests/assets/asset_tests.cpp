// The committed splash picture, icon and manifest, read as the program and Windows read them.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "cannot open " << path;
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string Resource(const char* name) {
  return std::string(QUORVEL_RESOURCES_DIR) + "/" + name;
}

std::uint32_t Be32(const Bytes& b, std::size_t at) {
  return std::uint32_t{b.at(at)} << 24 | std::uint32_t{b.at(at + 1)} << 16 |
         std::uint32_t{b.at(at + 2)} << 8 | b.at(at + 3);
}
std::uint32_t Le16(const Bytes& b, std::size_t at) {
  return b.at(at) | std::uint32_t{b.at(at + 1)} << 8;
}
std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return Le16(b, at) | Le16(b, at + 2) << 16;
}

// ---- Splash picture -----------------------------------------------------------------------

struct Chunk {
  std::string type;
  Bytes data;
};

// Walks the chunks after the signature; fails the test on a bad length or CRC.
std::vector<Chunk> ReadChunks(const Bytes& png) {
  std::vector<Chunk> chunks;
  std::size_t at = 8;
  while (at < png.size()) {
    if (png.size() - at < 12) {
      ADD_FAILURE() << "truncated chunk header at " << at;
      break;
    }
    std::uint32_t len = Be32(png, at);
    if (len > png.size() - at - 12) {
      ADD_FAILURE() << "chunk at " << at << " runs past the end of the file";
      break;
    }
    Chunk c{std::string(png.begin() + at + 4, png.begin() + at + 8),
            Bytes(png.begin() + at + 8, png.begin() + at + 8 + len)};
    uLong crc = crc32(0L, png.data() + at + 4, len + 4);
    EXPECT_EQ(Be32(png, at + 8 + len), crc) << "bad CRC on " << c.type << " at " << at;
    chunks.push_back(std::move(c));
    at += 12 + len;
  }
  return chunks;
}

TEST(SplashPicture, HeaderAndChunksAreExactlyAsTheProgramExpects) {
  Bytes png = ReadFile(Resource("splash.png"));
  ASSERT_GE(png.size(), 8u);
  EXPECT_EQ(Bytes(png.begin(), png.begin() + 8),
            (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
  EXPECT_LT(png.size(), 6u * 1024 * 1024);

  std::vector<Chunk> chunks = ReadChunks(png);
  ASSERT_GE(chunks.size(), 6u);
  std::string sequence;
  for (const Chunk& c : chunks) sequence += c.type + " ";
  // IHDR, sRGB, gAMA, pHYs, one or more IDAT, IEND, and nothing else.
  ASSERT_EQ(chunks[0].type, "IHDR") << sequence;
  ASSERT_EQ(chunks[1].type, "sRGB") << sequence;
  ASSERT_EQ(chunks[2].type, "gAMA") << sequence;
  ASSERT_EQ(chunks[3].type, "pHYs") << sequence;
  ASSERT_EQ(chunks.back().type, "IEND") << sequence;
  for (std::size_t i = 4; i + 1 < chunks.size(); ++i) {
    ASSERT_EQ(chunks[i].type, "IDAT") << sequence;
  }

  const Bytes& ihdr = chunks[0].data;
  ASSERT_EQ(ihdr.size(), 13u);
  EXPECT_EQ(Be32(ihdr, 0), 1393u);
  EXPECT_EQ(Be32(ihdr, 4), 860u);
  EXPECT_EQ(Bytes(ihdr.begin() + 8, ihdr.end()), (Bytes{8, 6, 0, 0, 0}))
      << "depth 8, RGBA, deflate, filter method 0, no interlace";
  EXPECT_EQ(chunks[1].data, Bytes{0}) << "sRGB, perceptual intent";
  ASSERT_EQ(chunks[2].data.size(), 4u);
  EXPECT_EQ(Be32(chunks[2].data, 0), 45455u);
  ASSERT_EQ(chunks[3].data.size(), 9u);
  EXPECT_EQ(Be32(chunks[3].data, 0), 3779u);
  EXPECT_EQ(Be32(chunks[3].data, 4), 3779u);
  EXPECT_EQ(chunks[3].data[8], 1) << "unit: metre";
  EXPECT_TRUE(chunks.back().data.empty());

  // The compressed stream is cut into equal IDAT chunks, the last one no larger.
  const std::size_t first_idat = chunks[4].data.size();
  for (std::size_t i = 4; i + 2 < chunks.size(); ++i) {
    EXPECT_EQ(chunks[i].data.size(), first_idat) << "IDAT " << i - 4;
  }
  EXPECT_GT(chunks[chunks.size() - 2].data.size(), 0u);
  EXPECT_LE(chunks[chunks.size() - 2].data.size(), first_idat);
}

TEST(SplashPicture, DecodesThroughTheSimplifiedApiAsOpaqueBgra) {
  Bytes png = ReadFile(Resource("splash.png"));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size())) << image.message;
  ASSERT_EQ(image.width, 1393u);
  ASSERT_EQ(image.height, 860u);
  image.format = PNG_FORMAT_BGRA;
  Bytes pixels(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
  EXPECT_EQ(image.warning_or_error, 0u) << image.message;
  png_image_free(&image);

  std::size_t not_opaque = 0;
  std::set<std::uint32_t> colours;
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    if (pixels[i + 3] != 255) ++not_opaque;
    colours.insert(pixels[i] | pixels[i + 1] << 8 | pixels[i + 2] << 16);
  }
  EXPECT_EQ(not_opaque, 0u);
  // A picture, not a blank or a flat fill left by a broken generator.
  EXPECT_GT(colours.size(), 20000u);
}

// ---- Icon ---------------------------------------------------------------------------------

TEST(ProgramIcon, HoldsThreeSixteenColourImagesOfSixteenThirtyTwoAndFortyEight) {
  Bytes ico = ReadFile(Resource("quorvel.ico"));
  ASSERT_GE(ico.size(), 6u);
  EXPECT_EQ(Le16(ico, 0), 0u) << "reserved";
  EXPECT_EQ(Le16(ico, 2), 1u) << "type: icon";
  ASSERT_EQ(Le16(ico, 4), 3u) << "image count";

  std::size_t expected_offset = 6 + 3 * 16;
  const int sizes[] = {16, 32, 48};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("image " + std::to_string(sizes[i]));
    const std::size_t e = 6 + 16 * i;
    EXPECT_EQ(ico.at(e), sizes[i]);
    EXPECT_EQ(ico.at(e + 1), sizes[i]);
    EXPECT_EQ(ico.at(e + 2), 16) << "bColorCount";
    EXPECT_EQ(ico.at(e + 3), 0) << "bReserved";
    EXPECT_EQ(Le16(ico, e + 4), 1u) << "wPlanes";
    EXPECT_EQ(Le16(ico, e + 6), 4u) << "wBitCount";
    const std::uint32_t bytes = Le32(ico, e + 8), offset = Le32(ico, e + 12);
    // Images follow the directory back to back, in directory order.
    EXPECT_EQ(offset, expected_offset);
    ASSERT_LE(std::size_t{offset} + bytes, ico.size());
    expected_offset = offset + bytes;

    const int n = sizes[i];
    const std::size_t xor_row = (n * 4 + 31) / 32 * 4, and_row = (n + 31) / 32 * 4;
    EXPECT_EQ(bytes, 40 + 16 * 4 + (xor_row + and_row) * n);
    EXPECT_EQ(Le32(ico, offset), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(Le32(ico, offset + 4), static_cast<std::uint32_t>(n));
    EXPECT_EQ(Le32(ico, offset + 8), static_cast<std::uint32_t>(2 * n)) << "height with mask";
    EXPECT_EQ(Le16(ico, offset + 12), 1u) << "planes";
    EXPECT_EQ(Le16(ico, offset + 14), 4u) << "bits per pixel";
    EXPECT_EQ(Le32(ico, offset + 16), 0u) << "BI_RGB";
    const std::uint32_t used = Le32(ico, offset + 32);
    EXPECT_TRUE(used == 0 || used == 16) << "biClrUsed " << used;

    // The mask leaves the corners see-through and the middle (the screen) drawn; transparent
    // pixels are black in the colour bitmap so nothing tints the screen beneath them.
    const std::size_t colour = offset + 40 + 64, mask = colour + xor_row * n;
    int transparent = 0;
    for (int row = 0; row < n; ++row) {
      for (int x = 0; x < n; ++x) {
        bool see_through = ico.at(mask + row * and_row + x / 8) & (0x80 >> (x % 8));
        int index = (ico.at(colour + row * xor_row + x / 2) >> (x % 2 == 0 ? 4 : 0)) & 0xF;
        if (see_through) {
          ++transparent;
          EXPECT_EQ(index, 0) << "at " << x << "," << row;
        }
      }
    }
    EXPECT_GT(transparent, 0);
    const int mid = n / 2;
    EXPECT_FALSE(ico.at(mask + mid * and_row + mid / 8) & (0x80 >> (mid % 8)));
  }
  EXPECT_EQ(expected_offset, ico.size()) << "nothing after the last image";
}

// ---- Manifest -----------------------------------------------------------------------------

std::string ReadText(const std::string& path) {
  Bytes b = ReadFile(path);
  return std::string(b.begin(), b.end());
}

// The whole <assemblyIdentity .../> element whose name attribute is `name`.
std::string AssemblyIdentity(const std::string& xml, const std::string& name) {
  for (std::size_t at = xml.find("<assemblyIdentity"); at != std::string::npos;
       at = xml.find("<assemblyIdentity", at + 1)) {
    std::string element = xml.substr(at, xml.find('>', at) - at + 1);
    if (element.find("name=\"" + name + "\"") != std::string::npos) return element;
  }
  return {};
}

std::string Attribute(const std::string& element, const std::string& attr) {
  // A space before the name, so "name" does not match inside "typename".
  std::size_t at = element.find(" " + attr + "=\"");
  if (at == std::string::npos) at = element.find("\n" + attr + "=\"");
  if (at == std::string::npos) return "<missing>";
  at += attr.size() + 3;
  return element.substr(at, element.find('"', at) - at);
}

TEST(Manifest, AsksForCommonControlsSixAndDeclaresNoDpiAwareness) {
  const std::string xml = ReadText(Resource("quorvel.manifest.in"));
  EXPECT_NE(xml.find("manifestVersion=\"1.0\""), std::string::npos);

  std::string program = AssemblyIdentity(xml, "Quorvel.Player");
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(Attribute(program, "type"), "win32");
  EXPECT_EQ(Attribute(program, "version"), "1.0.0.0");
  EXPECT_EQ(Attribute(program, "processorArchitecture"), "@QUORVEL_MANIFEST_ARCH@");

  std::string controls = AssemblyIdentity(xml, "Microsoft.Windows.Common-Controls");
  ASSERT_FALSE(controls.empty());
  EXPECT_LT(xml.find("<dependentAssembly>"), xml.find(controls)) << "inside a dependency";
  EXPECT_EQ(Attribute(controls, "type"), "win32");
  EXPECT_EQ(Attribute(controls, "version"), "6.0.0.0");
  EXPECT_EQ(Attribute(controls, "processorArchitecture"), "@QUORVEL_MANIFEST_ARCH@");
  EXPECT_EQ(Attribute(controls, "publicKeyToken"), "6595b64144ccf1df");
  EXPECT_EQ(Attribute(controls, "language"), "*");

  std::string lower = xml;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  EXPECT_EQ(lower.find("dpiaware"), std::string::npos) << "neither dpiAware nor dpiAwareness";

  // Filled in as the Windows build does, no placeholder is left over.
  const std::string configured = ReadText(QUORVEL_CONFIGURED_MANIFEST);
  EXPECT_EQ(configured.find('@'), std::string::npos);
  EXPECT_EQ(Attribute(AssemblyIdentity(configured, "Microsoft.Windows.Common-Controls"),
                      "processorArchitecture"),
            "x86");
}

// ---- Generators ---------------------------------------------------------------------------

TEST(Generators, StillProduceTheCommittedAssetsByteForByte) {
#if defined(__clang__)
  // The committed files come from the GCC build; another compiler may round the scene's
  // arithmetic differently, so only the GCC build can compare bytes.
  GTEST_SKIP() << "assets are generated by the GCC build";
#endif
  struct Case {
    const char* generator;
    const char* committed;
  };
  const Case cases[] = {
      {QUORVEL_SPLASH_GENERATOR, "splash.png"},
      {QUORVEL_ICON_GENERATOR, "quorvel.ico"},
  };
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("quorvel-assets-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.committed);
    const std::string out = (dir / c.committed).string();
    const std::string command = std::string("\"") + c.generator + "\" \"" + out + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_TRUE(ReadFile(out) == ReadFile(Resource(c.committed)))
        << "resources/" << c.committed << " differs from what " << c.generator
        << " makes now; regenerate it and commit both together";
  }
  std::filesystem::remove_all(dir);
}

TEST(Generators, ReportFailureWhenTheOutputCannotBeWritten) {
  for (const char* generator : {QUORVEL_SPLASH_GENERATOR, QUORVEL_ICON_GENERATOR}) {
    const std::string command =
        std::string("\"") + generator + "\" /nonexistent-quorvel-dir/out 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0) << command;
  }
}

}  // namespace
