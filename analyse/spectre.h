// Spectra of one channel: Welch's averaged periodogram (Hann window, 50 %
// overlap, each segment's mean taken out before the window, so that a
// microphone's offset leaks into no line) and its power in octave and
// third-octave bands with the IEC 61260-1 nominal centres.
//
// Segment length: a band's level is the sum of its lines, and a tone's
// Hann lobe spans four lines; with fewer lines than that in a band, a tone
// at its centre leaks into its neighbours and reads low in its own. The
// segments are long enough for the lowest band asked (points_bandes).
//
// Units: the density is in (sample unit)^2 per hertz, one-sided, scaled so
// that its sum times the resolution is the mean square of the samples; a
// band's power is a mean square. With a calibration factor in pascals per
// unit, factor^2 times a power is in Pa^2.
//
// Built on FFTW in single precision. A Welch belongs to one thread; plans
// are made under a lock shared by every Welch, as FFTW asks.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

constexpr int POINTS_WELCH = 4096;

class Welch {
public:
    // `frequence`: the sampling rate (Hz); `points`: the segment length, even.
    explicit Welch(double frequence, int points = POINTS_WELCH);
    ~Welch();
    Welch(const Welch&) = delete;
    Welch& operator=(const Welch&) = delete;

    // Appends `n` samples, taken every `pas` values from `x` (one channel of
    // interleaved frames); each completed segment joins the average.
    void ajoute(const float* x, std::size_t n, std::size_t pas = 1);
    // Forgets every segment and the samples not yet used.
    void remet();
    // Forgets the samples not yet used and keeps the average: the next
    // samples do not follow the previous ones.
    void interrompt() { remplis_ = 0; }
    // Forgets every segment and keeps the samples not yet used: the next
    // segment follows the last one as if nothing had been forgotten.
    void recommence();

    int segments() const { return segments_; }
    int points() const { return points_; }
    double resolution() const { return frequence_ / points_; } // Hz between two bins
    // The averaged density, bins 0 .. points/2 (all zeros before the first
    // segment).
    std::vector<double> densite() const;

private:
    void segment();

    double frequence_;
    int points_;
    std::vector<float> fenetre_, tampon_, entree_;
    std::size_t remplis_ = 0; // samples in tampon_
    std::vector<double> somme_;
    double norme_ = 0; // sum of the window's squares
    int segments_ = 0;
    struct Fftw;
    std::unique_ptr<Fftw> fftw_;
};

// One band: its nominal centre (the label), exact centre and edges, in Hz.
struct Bande {
    double nominale = 0;
    double centre = 0;
    double basse = 0, haute = 0;
};

// Base-ten bands of IEC 61260-1 whose upper edge is below `fmax`:
// third-octaves from 25 Hz, octaves from 31.5 Hz, up to 20 kHz.
std::vector<Bande> bandes_tiers_octave(double fmax);
std::vector<Bande> bandes_octave(double fmax);

// The segment length for bands down to `bande`: the smallest power of two,
// from `plancher` to `plafond`, whose lines are at most the band's width /
// `lignes` apart. With LIGNES_BANDE lines (6 to 12), a tone at a
// third-octave's centre reads its level within 0.01 dB and its
// neighbours stay 35 dB or more below it: 65 536 points at 50 kHz for
// 25 Hz (0.76 Hz lines), 4096 at 2 kHz with POINTS_WELCH as the floor.
constexpr int LIGNES_BANDE = 6;
int points_bandes(double frequence, const Bande& bande, int lignes = LIGNES_BANDE, int plancher = POINTS_WELCH,
                  int plafond = 1 << 20);
// The length for every third-octave below frequence / 2, down to 25 Hz.
int points_spectre(double frequence);

// Mean square in each band from a density of resolution `df`: each bin
// counts for the share of its width inside the band.
std::vector<double> puissance_bandes(const std::vector<double>& densite, double df, const std::vector<Bande>& bandes);

// 10 log10(puissance / reference^2); -inf for nothing.
double niveau_db(double puissance, double reference);
