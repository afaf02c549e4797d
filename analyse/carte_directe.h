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
// source at each focus point gives it (true level, formation.h), or brought
// back to 1 m from it (ReferenceNiveau, reglages_carte.h).
//
// The grid, the speed of sound and the snapshots as the map of a recording
// takes them (reglages_carte.h), within PLAFOND_POINTS_MICROS_DIRECT.
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
#include "analyse/reglages_carte.h"

constexpr double INSTANTANES_PAR_SECONDE = 40;
// Points times microphones of a live map: 101 x 101 over 1024 microphones
// (159 MiB of steering, six times the work of 41 x 41). The default step
// is made coarser to fit, a grid asked for beyond it is refused.
constexpr double PLAFOND_POINTS_MICROS_DIRECT = 101.0 * 101.0 * 1024.0;
// Snapshot lengths a live map may be asked for (powers of two).
constexpr int POINTS_DIRECT_MIN = 256, POINTS_DIRECT_MAX = 16384;

struct ReglagesCarte {
    double bande = 1000;   // nominal centre, Hz
    bool octave = false;   // octave band, else third-octave
    double z = 1;          // distance of the map's plane from the array, m
    double moyenne = 0.5;  // averaging period, s, 0.25..1
    double dynamique = 10; // dB shown below the maximum (display only)
    bool derriere = false; // seen from behind the array (display only)
    // The microphones' own terms left out (formation.h): their self-noise
    // no longer sits under the map.
    bool sans_diagonale = true;
    // The grid over [x0, x1] x [y0, y1] m in the array's axes, each axis
    // over the aperture of the microphones used while both its ends are 0.
    // At `pas` m when > 0, else n x n points when n > 0 (11..101), else the
    // step follows the band (choisit_grille).
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    double pas = 0;
    int n = 0;
    int points = 0; // frames per snapshot: 0 from the band, else a power of two 256..16384
    // Sound at celerite_air(temperature) when selon_temperature, else at
    // `celerite`.
    bool selon_temperature = false;
    double celerite = CELERITE_SON; // m/s, 200..2000
    double temperature = 20;        // °C, -50..60
    ReferenceNiveau reference = ReferenceNiveau::Centre;

    double celerite_son() const { return selon_temperature ? celerite_air(temperature) : celerite; }
    DemandeGrille demande_grille() const;

    bool operator==(const ReglagesCarte& o) const
    {
        return bande == o.bande && octave == o.octave && n == o.n && z == o.z && moyenne == o.moyenne &&
               dynamique == o.dynamique && derriere == o.derriere && sans_diagonale == o.sans_diagonale && x0 == o.x0 &&
               x1 == o.x1 && y0 == o.y0 && y1 == o.y1 && pas == o.pas && points == o.points &&
               selon_temperature == o.selon_temperature && celerite == o.celerite && temperature == o.temperature &&
               reference == o.reference;
    }
    bool operator!=(const ReglagesCarte& o) const { return !(*this == o); }
};

// One finished map.
struct ImageCarte {
    ReglagesCarte reglages;          // as it was made with
    Grille grille;                   // at reglages.z
    std::vector<double> niveaux;     // dB per focus point, entry j * nx + i, at reglages.reference
    std::vector<int> micros;         // the microphones used (indices into the geometry)
    int i_max = 0, j_max = 0;        // the maximum's focus point
    double x_max = 0, y_max = 0;     // m
    double niveau_max = 0;           // dB
    double f_basse = 0, f_haute = 0; // the band's edges, Hz
    bool calibre = false;            // dB SPL, else dB re 1 count²
    int instantanes = 0;             // snapshots averaged
    int points = 0;                  // frames per snapshot
    double celerite = 0;             // m/s
    double faisceau = 0;             // m, beam width at f_haute
    bool grille_limitee = false;     // the default step made coarser (PLAFOND_POINTS_MICROS_DIRECT)
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
    GrilleChoisie grille_;
    std::vector<double> reference_; // per focus point, the mean square's factor to the reference
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
