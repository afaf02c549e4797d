#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "direct/analyse_directe.h"
#include "direct/memoire_trames.h"
#include "files/geometrie.h"
#include "simulator/frame_source.h"
#include "support/doubles.h"

namespace {

// Frames of 3 words numbered from `premiere`: word w of frame t is 10 t + w.
std::vector<uint32_t> numerotees(uint32_t premiere, std::size_t n)
{
    std::vector<uint32_t> m(3 * n);
    for (std::size_t t = 0; t < n; ++t)
        for (std::size_t w = 0; w < 3; ++w)
            m[3 * t + w] = 10 * (premiere + uint32_t(t)) + uint32_t(w);
    return m;
}

// The frames numbers the pieces hold, in order.
std::vector<uint32_t> tenues(const MemoireTrames& m, std::size_t n)
{
    std::vector<uint32_t> r;
    for (const MorceauTrames& p : m.dernieres(n))
        for (std::size_t t = 0; t < p.trames; ++t) {
            EXPECT_EQ(p.mots[3 * t + 2], p.mots[3 * t] + 2);
            r.push_back(p.mots[3 * t] / 10);
        }
    return r;
}

std::vector<uint32_t> suite_de(uint32_t a, uint32_t b)
{
    std::vector<uint32_t> r;
    for (uint32_t k = a; k < b; ++k)
        r.push_back(k);
    return r;
}

} // namespace

// The ring keeps the latest frames in order across its wrap, forgets them
// after a gap, takes only the end of a block longer than itself, and stays
// within its bytes.
TEST(MemoireTrames, LatestUnbrokenStretch)
{
    MemoireTrames m({0, 1, 2}, false, 100, 0.1, 1 << 20); // 10 frames
    ASSERT_EQ(m.capacite(), 10u);
    EXPECT_TRUE(m.dernieres(5).empty());
    std::vector<uint32_t> a = numerotees(0, 7), b = numerotees(7, 6);
    m.ajoute(a.data(), 7, false);
    EXPECT_EQ(tenues(m, 100), suite_de(0, 7));
    m.ajoute(b.data(), 6, true); // wraps
    EXPECT_EQ(m.trames(), 10u);
    EXPECT_EQ(m.dernieres(10).size(), 2u);
    EXPECT_EQ(tenues(m, 10), suite_de(3, 13));
    EXPECT_EQ(tenues(m, 4), suite_de(9, 13));
    std::vector<uint32_t> c = numerotees(50, 4);
    m.ajoute(c.data(), 4, false); // a gap: the frames before are gone
    EXPECT_EQ(tenues(m, 100), suite_de(50, 54));
    std::vector<uint32_t> d = numerotees(54, 25);
    m.ajoute(d.data(), 25, true);
    EXPECT_EQ(tenues(m, 100), suite_de(69, 79));
    m.vide();
    EXPECT_EQ(m.trames(), 0u);

    MemoireTrames petite({0, 1, 2}, false, 50000, 2.0, 120); // 120 bytes: 10 frames of 12
    EXPECT_EQ(petite.capacite(), 10u);
}

#ifdef ONDARIS_FFTW

namespace {

constexpr double FS = 50000;
constexpr double PI = 3.14159265358979323846;

// The simulated box's frames over its own array, int32 at 50 kHz, of the
// point sources given; `faisceaux` beams of 8 microphones from the first.
struct Scene {
    std::shared_ptr<Geometrie> g = std::make_shared<Geometrie>();
    std::vector<int32_t> codes;
    std::vector<uint32_t> mots;

    Scene(const std::vector<sim::PointSource>& points, int faisceaux, double secondes)
    {
        std::string erreur;
        EXPECT_EQ(lit_geometrie(ONDARIS_SOURCES "/data/geometrie-simulateur.xml", *g, erreur), 0) << erreur;
        sim::FrameSource::Params p;
        for (int f = 0; f < faisceaux; ++f)
            p.settings.selection.beams[size_t(f)] = 0xFF;
        p.scene.points = points;
        p.scene.geometry = *g;
        sim::FrameSource source(p);
        for (const sim::Word& w : source.layout())
            codes.push_back(w.kind == sim::Word::Microphone ? w.index : 3000 + w.index);
        const std::size_t n = std::size_t(secondes * FS);
        mots.resize(n * codes.size());
        source.write(0, reinterpret_cast<unsigned char*>(mots.data()), mots.size() * 4);
    }
    std::size_t trames() const { return mots.size() / codes.size(); }
};

// The frames to the live analysis's consumer with the map on, in packets.
void joue(AnalyseDirecte& a, const Scene& s, const ReglagesCarte& carte)
{
    ReglagesDirect r;
    r.carte = true;
    r.reglages_carte = carte;
    r.geometrie = s.g;
    r.garde_trames = true;
    a.reglages(r);
    std::unique_ptr<PriseTrames> prise = a.commence(s.codes, false, FS);
    ASSERT_TRUE(prise);
    const std::size_t bloc = 4000;
    for (std::size_t t = 0; t < s.trames(); t += bloc)
        a.consomme(s.mots.data() + t * s.codes.size(), std::min(bloc, s.trames() - t), true);
    a.termine(*prise);
}

ResultatTache attend(AnalyseDirecte& a)
{
    a.attend_tache();
    const ResultatTache t = a.resultats().tache;
    EXPECT_FALSE(t.en_cours);
    return t;
}

std::vector<float> lit_wav(const std::string& chemin, uint32_t& frequence)
{
    const std::vector<uint8_t> w = read_bytes(chemin);
    auto u32 = [&](std::size_t o) {
        return uint32_t(w[o] | w[o + 1] << 8 | w[o + 2] << 16 | uint32_t(w[o + 3]) << 24);
    };
    std::vector<float> s;
    if (w.size() < 12)
        return s;
    frequence = u32(24);
    for (std::size_t o = 12; o + 8 <= w.size(); o += 8 + u32(o + 4))
        if (std::memcmp(&w[o], "data", 4) == 0) {
            s.resize(u32(o + 4) / 4);
            std::memcpy(s.data(), &w[o + 8], s.size() * 4);
        }
    return s;
}

// Mean square of the part of y at f Hz.
double ton(const std::vector<float>& y, double f, std::size_t a, std::size_t b)
{
    double c = 0, s = 0;
    for (std::size_t k = a; k < b; ++k) {
        c += y[k] * std::cos(2 * PI * f * double(k) / FS);
        s += y[k] * std::sin(2 * PI * f * double(k) / FS);
    }
    const double n = double(b - a);
    return 2 * (c * c + s * s) / (n * n);
}

double db_spl(double p2) { return 10 * std::log10(p2 / (20e-6 * 20e-6)); }

} // namespace

// Two tones at two points: steered at the first, the WAV of the frames kept
// carries it at its level at the array's centre (1/r from its level at
// 1 m) and the other far below; then at the second. Without a calibration
// the nominal sensitivity gives the pascals.
TEST(EcouteDirecte, TheLastSecondsSteeredAtAPointOfTheMap)
{
    const sim::PointSource a{0.2, -0.1, 1.0, 2000, 94}, b{-0.25, 0.2, 1.0, 3150, 94};
    const Scene s({a, b}, 128, 1.0);
    AnalyseDirecte analyse;
    ReglagesCarte carte;
    carte.bande = 2000;
    joue(analyse, s, carte);
    TempDir dir;
    std::string erreur;
    uint64_t numero = 0;
    for (int k = 0; k < 2; ++k) {
        const sim::PointSource& voulue = k == 0 ? a : b;
        const sim::PointSource& autre = k == 0 ? b : a;
        DemandeTache d;
        d.genre = DemandeTache::ECOUTE;
        d.point = {voulue.x, voulue.y, voulue.z};
        d.chemin = dir.file(voulue.tone_hz == 2000 ? "a.wav" : "b.wav");
        ASSERT_TRUE(analyse.lance(d, erreur)) << erreur;
        const ResultatTache t = attend(analyse);
        EXPECT_EQ(t.numero, ++numero);
        ASSERT_TRUE(t.reussie) << t.message;
        EXPECT_NE(t.message.find(d.chemin), std::string::npos) << t.message;
        EXPECT_NE(t.message.find("sensibilité nominale"), std::string::npos) << t.message;
        uint32_t fs = 0;
        const std::vector<float> y = lit_wav(d.chemin, fs);
        EXPECT_EQ(fs, 50000u);
        ASSERT_EQ(y.size(), s.trames());
        // Whole periods of the simulator's table, whose tones it rounds to.
        const std::size_t debut = 1000, fin = debut + 5 * std::size_t(sim::kPointTableFrames);
        auto arrondie = [](double f) {
            return std::round(f * sim::kPointTableFrames / FS) * FS / sim::kPointTableFrames;
        };
        const double r0 = std::hypot(voulue.x, voulue.y, voulue.z); // the array's centre is near (0, 0, 0)
        const double attendu = voulue.level_db - 20 * std::log10(r0);
        EXPECT_NEAR(db_spl(ton(y, arrondie(voulue.tone_hz), debut, fin)), attendu, 1.0);
        EXPECT_LT(db_spl(ton(y, arrondie(autre.tone_hz), debut, fin)), attendu - 15);
        EXPECT_NEAR(t.niveau, 10 * std::log10(std::pow(10, attendu / 10) + std::pow(10, (attendu - 15) / 10)), 1.5);
    }
}

// The distance found from the frames kept: a source at 1.5 m, the scan over
// 0.5 to 3 m finds it within 10 %. A job asked while one runs is refused;
// without frames kept, or of a point on a microphone, the job fails with
// its reason.
TEST(EcouteDirecte, DistanceFoundAndRefusals)
{
    AnalyseDirecte vide;
    std::string erreur;
    DemandeTache d;
    d.genre = DemandeTache::ECOUTE;
    d.point = {0, 0, 1};
    TempDir dir;
    d.chemin = dir.file("rien.wav");
    ASSERT_TRUE(vide.lance(d, erreur)) << erreur;
    ResultatTache t = attend(vide);
    EXPECT_FALSE(t.reussie);
    EXPECT_NE(t.message.find("aucune trame"), std::string::npos) << t.message;

    const Scene s({sim::PointSource{0.1, 0.05, 1.5, 0, 94}}, 32, 0.5); // 256 microphones, broadband
    AnalyseDirecte analyse;
    ReglagesCarte carte;
    carte.bande = 4000;
    carte.n = 21;
    joue(analyse, s, carte);
    d.genre = DemandeTache::DISTANCE;
    ASSERT_TRUE(analyse.lance(d, erreur)) << erreur;
    // Refused while the first runs (it may have ended already: then it runs
    // again, to the same distance).
    if (!analyse.lance(d, erreur)) {
        EXPECT_NE(erreur.find("en cours"), std::string::npos) << erreur;
    }
    t = attend(analyse);
    ASSERT_TRUE(t.reussie) << t.message;
    EXPECT_NEAR(t.z, 1.5, 0.15) << t.message;
    EXPECT_NE(t.message.find("distance"), std::string::npos) << t.message;

    d.genre = DemandeTache::ECOUTE;
    d.point = (*s.g)[0];
    ASSERT_TRUE(analyse.lance(d, erreur)) << erreur;
    t = attend(analyse);
    EXPECT_FALSE(t.reussie);
    EXPECT_NE(t.message.find("impossible"), std::string::npos) << t.message;
    EXPECT_TRUE(read_bytes(d.chemin).empty());
}

#endif
