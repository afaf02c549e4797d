// Delay-and-sum beamforming on FFT snapshots: the acoustic map of one band
// over a grid of focus points in a plane parallel to the array.
//
// Transfer model: a point source at g gives microphone m the pressure it
// gives the reference point (the centre of the microphones used) times
// r0/rm, delayed by (rm - r0)/c, where rm and r0 are the distances from g.
// Steering inverts it for every microphone ("true level"): a source at a
// focus point reads, at that point, the mean square it gives the reference
// point in the band.
//
// Snapshots are `points` consecutive frames through a Hann window, scaled
// as Welch's density (analyse/spectre.h): the map of a band is the mean
// square of its lines, averaged over the snapshots added.
#pragma once

#include <complex>
#include <memory>
#include <vector>

#include "analyse/noyau_carte.h"
#include "analyse/raies_directes.h"
#include "files/geometrie.h"

constexpr double CELERITE_SON = 343.0; // m/s

struct ReglagesCleanSc;
struct BilanCleanSc;

// Snapshot length for the band [f_basse, f_haute] Hz: POINTS_INSTANTANE
// frames, or longer in the low bands, the power of two that puts
// LIGNES_CARTE lines in the band (from 800 Hz down at 50 kHz; 8192 frames
// for 125 Hz), at most POINTS_INSTANTANE_MAX (a snapshot of 1024
// microphones holds 4 bytes per frame and microphone).
constexpr int POINTS_INSTANTANE = 1024;
constexpr int LIGNES_CARTE = 4;
constexpr int POINTS_INSTANTANE_MAX = 16384;
int points_instantane(double frequence, double f_basse, double f_haute);

// Focus points: nx by ny over [x0, x1] x [y0, y1] at z, as the array sees
// them (its own axes); point (i, j) is entry j * nx + i of a map.
struct Grille {
    int nx = 41, ny = 41;
    double x0 = -0.5, x1 = 0.5, y0 = -0.5, y1 = 0.5;
    double z = 1;
    Point3 point(int i, int j) const;
    double pas_x() const { return nx > 1 ? (x1 - x0) / (nx - 1) : 0; }
    double pas_y() const { return ny > 1 ? (y1 - y0) / (ny - 1) : 0; }
};

// The grid over the aperture of the microphones used (the extent of their
// x and y), n by n, at distance z in front of the microphones' mean plane
// (the grid's own z is that plane's plus z).
Grille grille_ouverture(const Geometrie& g, const std::vector<int>& micros, double z, int n = 41);

class Formation {
public:
    // `micros`: the microphones used (indices into g); the band [f_basse,
    // f_haute] in Hz; `points`: the snapshot length; `celerite`: the speed
    // of sound, m/s. The steering of every focus point is computed here
    // once (16 bytes per point and microphone).
    Formation(double frequence, const Geometrie& g, std::vector<int> micros, double f_basse, double f_haute,
              Grille grille, int points = 1024, double celerite = CELERITE_SON);
    ~Formation();
    Formation(const Formation&) = delete;
    Formation& operator=(const Formation&) = delete;

    // One snapshot of `points` frames of `mots` words: microphone micros[i]
    // is word mot[i] of each frame, scaled by facteur[i] when given (a
    // calibration in pascals per unit).
    void ajoute(const float* trames, int mots, const std::vector<int>& mot, const std::vector<float>& facteur = {});
    // One snapshot as Instantanes (instantanes.h) keeps it: microphone
    // micros[i] in row i of `colonnes`, rows `ligne` floats apart, frame t
    // at entry (debut + t) % points.
    void ajoute(const float* colonnes, std::size_t ligne, int debut);
    int instantanes() const { return instantanes_; }
    void remet() { instantanes_ = 0; }

    // Mean square of the band at the reference point, per focus point,
    // averaged over the snapshots (zeros before the first), through the
    // block kernel (analyse/noyau_carte.h) on the path chosen.
    std::vector<double> carte() const;
    // The map without the microphones' own terms (the diagonal of the
    // cross-spectral matrix): the self-noise of every capsule no longer
    // sits under the map. At each focus point the weights are renormalised
    // for the terms removed, 1 - sum (r0/rm)^4 / (sum (r0/rm)^2)^2, so that
    // a source there still reads its true level. What falls below zero
    // (noise) reads zero.
    std::vector<double> carte_sans_diagonale() const;

    // The CLEAN-SC map of the band (clean_sc.h), without the microphones'
    // own terms or with them; zeros before the first snapshot. `bilan`,
    // when given, says how the lines stopped.
    std::vector<double> carte_clean_sc(const ReglagesCleanSc& r, bool sans_diagonale,
                                       BilanCleanSc* bilan = nullptr) const;

    // The same from the plain formula, in double precision with the
    // steering of every line computed afresh: the reference of the tests.
    // The kernel's maps stay within 1e-5 of its maximum.
    std::vector<double> carte_formule() const;

    // The kernel's path: the fastest this processor runs unless one is set.
    CheminCarte chemin() const { return chemin_; }
    void choisit_chemin(CheminCarte c) { chemin_ = c; }
    // How the band's lines are taken from each snapshot: a real FFT of
    // every microphone, or a direct DFT of the band's lines alone
    // (raies_directes.h), cheaper on AVX2 for a narrow band (the 4 kHz
    // third-octave at 1024 frames: 1.2 ms a snapshot of 1024 microphones
    // from frames, 0.8 ms from the live map's rows, against 1.4 ms);
    // chosen here by the lines' count against the snapshot's length, and
    // for lines not too low, unless set. Either gives the same lines
    // within the rounding of float sums.
    bool raies_directes() const { return directes_ != nullptr; }
    void choisit_raies_directes(bool oui);
    // Floating-point operations of one map of `instantanes` snapshots at
    // the kernel's floor (analyse/noyau_carte.h).
    double operations(int instantanes) const;

    const Grille& grille() const { return grille_; }
    int raies() const { return k1_ - k0_ + 1; } // FFT lines in the band

private:
    double frequence_;
    std::vector<int> micros_;
    Grille grille_;
    int points_;
    double celerite_;
    int k0_ = 0, k1_ = -1;
    std::vector<Point3> positions_; // of micros_
    Point3 reference_;
    std::vector<float> fenetre_;
    double norme_ = 0;
    // Per focus point, what is left of the weights without the diagonal:
    // 1 - sum (r0/rm)^4 / (sum (r0/rm)^2)^2.
    std::vector<double> reste_;
    // Steering of the focus points at the band's first line and from one
    // line to the next, in blocks of BLOC_POINTS: [block][microphone][16],
    // the points' real parts, then their imaginary parts.
    struct Flottants {
        float* p = nullptr;
        std::size_t n = 0;
        Flottants() = default;
        Flottants(const Flottants&) = delete;
        Flottants& operator=(const Flottants&) = delete;
        ~Flottants();
        void alloue(std::size_t taille);
    };
    Flottants depart_, pas_;
    std::size_t blocs_ = 0;
    CheminCarte chemin_ = chemin_carte_rapide();
    // Lines of the band as the kernel reads them, written as each snapshot
    // comes: [group][line][microphone][4 real, 4 imaginary], zeros past
    // the last snapshot; room for groupes_ groups, kept from map to map.
    Flottants lignes_;
    std::size_t groupes_ = 0;
    // The steering of one block stepped line by line in the kernel.
    mutable Flottants courant_;
    int instantanes_ = 0;
    std::complex<float> raie(std::size_t instantane, std::size_t micro, std::size_t r) const;
    float* place();
    void transforme(float* l, std::size_t b0, std::size_t n);
    struct Fftw;
    std::unique_ptr<Fftw> fftw_; // planned when first wanted
    void planifie();
    std::unique_ptr<RaiesDirectes> directes_;
    // The direct DFT's sums for all the microphones, and 16 microphones'
    // frames gathered when their words do not follow one another.
    std::vector<float> sommes_, tuile_;
    void ajoute_directes(const float* trames, int mots, const std::vector<int>& mot, const std::vector<float>& facteur);
};
