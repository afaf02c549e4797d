// Spectra of one channel: Welch's averaged periodogram (segments of 4096
// points, Hann window, 50 % overlap) and its power in octave and
// third-octave bands with the IEC 61260-1 nominal centres.
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

// Mean square in each band from a density of resolution `df`: each bin
// counts for the share of its width inside the band.
std::vector<double> puissance_bandes(const std::vector<double>& densite, double df, const std::vector<Bande>& bandes);

// 10 log10(puissance / reference^2); -inf for nothing.
double niveau_db(double puissance, double reference);
