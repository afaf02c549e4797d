// The live acoustic map: delay-and-sum (formation.h) over the microphones
// of the running frame, in one octave or third-octave band, a new map every
// averaging period. One CarteDirecte per set of settings, fed on the live
// analysis thread with the frames a PriseTrames hands over.
//
// Snapshots of points_instantane() frames for the band (formation.h),
// overlapping by half (instantanes.h, as the map of a recording takes
// them). To keep pace with the box, a map transforms at most
// INSTANTANES_PAR_SECONDE snapshots of POINTS_INSTANTANE frames per second
// of averaging (fewer of the longer ones of the low bands: as many frames),
// spread evenly over the period (one in every k); a period holds at least
// one snapshot.
//
// Levels: dB SPL (re 20 µPa) with the microphones' factors, else dB re one
// count squared, of the band's mean square at the array's centre as the
// source at each focus point gives it (true level, formation.h).
//
// Cost grows with the focus points: at 41 x 41 and 1024 microphones the
// steering takes 28 MB and 0.06 to 0.13 s to build, and 0.25 s of frames
// with their map of 8 snapshots about 0.03 s of one core with AVX-512,
// 0.045 s with AVX2 and FMA (only the frames of the snapshots taken are
// converted; the band's lines by a direct DFT, formation.h); at 101 x 101,
// six times that. A CarteDirecte belongs to one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analyse/formation.h"
#include "analyse/instantanes.h"

constexpr double INSTANTANES_PAR_SECONDE = 40;

struct ReglagesCarte {
    double bande = 1000;   // nominal centre, Hz
    bool octave = false;   // octave band, else third-octave
    int n = 41;            // focus points per side, 11..101
    double z = 1;          // distance of the map's plane from the array, m
    double moyenne = 0.5;  // averaging period, s, 0.25..1
    double dynamique = 10; // dB shown below the maximum (display only)
    bool derriere = false; // seen from behind the array (display only)
    // The microphones' own terms left out (formation.h): their self-noise
    // no longer sits under the map.
    bool sans_diagonale = true;

    bool operator==(const ReglagesCarte& o) const
    {
        return bande == o.bande && octave == o.octave && n == o.n && z == o.z && moyenne == o.moyenne &&
               dynamique == o.dynamique && derriere == o.derriere && sans_diagonale == o.sans_diagonale;
    }
    bool operator!=(const ReglagesCarte& o) const { return !(*this == o); }
};

// One finished map.
struct ImageCarte {
    ReglagesCarte reglages;          // as it was made with
    Grille grille;                   // over the aperture of `micros`, at reglages.z
    std::vector<double> niveaux;     // dB per focus point, entry j * nx + i
    std::vector<int> micros;         // the microphones used (indices into the geometry)
    int i_max = 0, j_max = 0;        // the maximum's focus point
    double x_max = 0, y_max = 0;     // m
    double niveau_max = 0;           // dB
    double f_basse = 0, f_haute = 0; // the band's edges, Hz
    bool calibre = false;            // dB SPL, else dB re 1 count²
    int instantanes = 0;             // snapshots averaged
};

class CarteDirecte {
public:
    // `codes`: the code of every word of a frame (microphones 0..1023);
    // `flottant`: float32 samples; `fs`: the frame rate (Hz); `exclus`:
    // microphones left out (the health check's faulty ones); `facteurs`:
    // pascals per count of microphone m, 0..1023, empty for raw units.
    // The steering of every focus point is computed here (a fraction of a
    // second at 41 x 41 and 1024 microphones).
    CarteDirecte(const Geometrie& g, const std::vector<int32_t>& codes, bool flottant, double fs,
                 const std::vector<int>& exclus, const std::vector<double>& facteurs, const ReglagesCarte& r);
    ~CarteDirecte();
    CarteDirecte(const CarteDirecte&) = delete;
    CarteDirecte& operator=(const CarteDirecte&) = delete;

    // False when no map can be made (no such band below fs/2, no line of
    // it at this resolution, a setting out of range, no microphone of the
    // frame in the geometry); erreur() then says why, in French.
    bool valide() const { return erreur_.empty(); }
    const std::string& erreur() const { return erreur_; }

    // `trames` whole frames of codes.size() words. `suite` false: they do
    // not follow the previous ones; the snapshot begun is dropped.
    void ajoute(const uint32_t* mots, std::size_t trames, bool suite);

    // A map was finished since derniere() was last called.
    bool nouvelle() const { return nouvelle_; }
    // The latest map (empty niveaux before the first).
    const ImageCarte& derniere()
    {
        nouvelle_ = false;
        return image_;
    }

    const ReglagesCarte& reglages() const { return reglages_; }
    const std::vector<int>& micros() const { return micros_; }
    int un_sur() const { return un_sur_; }           // one snapshot in every un_sur() goes into a map
    int points() const { return points_; }           // frames per snapshot
    std::size_t periode() const { return periode_; } // frames per map
    // The map kernel's path (formation.h), the fastest unless set.
    void choisit_chemin(CheminCarte c)
    {
        if (formation_)
            formation_->choisit_chemin(c);
    }
    // How the lines are taken (formation.h), by cost unless set.
    void choisit_raies_directes(bool oui)
    {
        if (formation_)
            formation_->choisit_raies_directes(oui);
    }

private:
    void termine_periode();

    ReglagesCarte reglages_;
    std::string erreur_;
    std::vector<int> micros_;
    double f_basse_ = 0, f_haute_ = 0;
    bool calibre_ = false;
    std::unique_ptr<Formation> formation_;
    std::unique_ptr<Instantanes> instantanes_;
    std::size_t nb_mots_ = 0;
    int points_ = POINTS_INSTANTANE;
    std::size_t periode_ = 0; // frames per map
    std::size_t trames_ = 0;  // frames of the current period
    int un_sur_ = 1;
    std::uint64_t completes_periode_ = 0; // snapshots completed before the current period
    bool nouvelle_ = false;
    ImageCarte image_;
};
