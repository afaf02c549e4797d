// Live analysis of a run's frames, for the analysis window and the runner's
// live log: the health check, the calibrator assistant, A-weighted levels,
// and (in builds with FFTW) the acoustic map and one microphone's spectrum.
//
// Threads (docs/fils.md). The owner's thread (the window's, or the runner's
// run thread) says what to compute (reglages) and takes the results
// (resultats); a run started while something is asked gets a PriseTrames,
// attached to the run's tap (direct/robinet.h), whose own thread feeds
// consomme() with copies of whole frames.
// That thread takes frames when it is free and the rest are left out: the
// analysis never holds back the ring, the writer or the counter check.
// Settings and results cross under one lock, as values.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "direct/memoire_trames.h"
#include "direct/prise_trames.h"
#include "analyse/calibreur.h"
#include "analyse/carte_directe.h"
#include "analyse/sante.h"
#include "analyse/spectre_direct.h"
#include "files/geometrie.h"

struct ReglagesDirect {
    bool sante = false;         // the health check over the run's frames
    bool calibreur = false;     // the calibrator assistant
    double reference = 94;      // the calibrator's level, dB SPL
    bool ponderation_a = false; // A-weighted levels of every microphone
    // Pa per count of microphones 0..1023; empty: none loaded (the nominal
    // sensitivity for the calibrator, counts for the levels).
    std::vector<double> facteurs;

    // The acoustic map over the array's geometry, leaving out `exclus` (the
    // microphones the health check flags), and the spectrum of one
    // microphone (-1: none).
    bool carte = false;
    ReglagesCarte reglages_carte;
    std::shared_ptr<const Geometrie> geometrie;
    std::vector<int> exclus;
    int micro_spectre = -1;
    // The map's band is the loudest third-octave of micro_spectre's
    // spectrum, chosen once its first segment is in (no map before); the
    // band of reglages_carte is then left aside.
    bool bande_la_plus_forte = false;
    // With the map, the latest frames kept for a job (lance()): the
    // window's listening and distance search.
    bool garde_trames = false;

    bool voulu() const { return sante || calibreur || ponderation_a || (carte && geometrie) || micro_spectre >= 0; }
};

// While the map is asked for, the latest frames taken are kept (up to
// DUREE_ECOUTE_S, within MEMOIRE_ECOUTE_OCTETS: 2 s of 1045 words at 50 kHz
// take 418 MB) for a job of the window's on them, after the run too: the
// signal of one point of the map as a WAV, or the map's distance found.
constexpr double DUREE_ECOUTE_S = 2.0;
constexpr std::size_t MEMOIRE_ECOUTE_OCTETS = std::size_t(512) << 20;
// The distances the search scans, m.
constexpr double Z_AUTO_MIN = 0.5, Z_AUTO_MAX = 3.0;
// The distance is judged on this much of the latest frames (at least one
// snapshot of the band).
constexpr double DUREE_DISTANCE_S = 0.25;

struct DemandeTache {
    enum Genre { ECOUTE, DISTANCE } genre = ECOUTE;
    // ECOUTE: the point (m, in the geometry's axes), the WAV written (32-bit
    // float, pascals) and a third-octave's nominal centre (0: the whole
    // signal). The microphones are the map's; without a calibration, the
    // nominal sensitivity.
    Point3 point;
    std::string chemin;
    double bande = 0;
    // DISTANCE: the range scanned, in the map's band and grid.
    double z_min = Z_AUTO_MIN, z_max = Z_AUTO_MAX;
};

struct ResultatTache {
    uint64_t numero = 0; // of the latest job asked (0: none yet)
    DemandeTache::Genre genre = DemandeTache::ECOUTE;
    bool en_cours = false;
    bool reussie = false;
    std::string message; // what it did or why it could not, for the pane
    double z = 0;        // DISTANCE: m, from the microphones' mean plane
    double duree = 0;    // ECOUTE: s of signal written
    double niveau = 0;   // ECOUTE: dB SPL of the signal
};

// A microphone the assistant calibrated.
struct MicroCalibre {
    double facteur = 0; // Pa per count, the new one
    double lu = 0;      // dB SPL read through the factor it had
};

struct ResultatsDirect {
    uint64_t version = 0; // changes with every new result
    bool en_cours = false;
    double frequence = 0; // Hz, of the run analysed
    uint64_t paquets_ignores = 0;

    // The health check: frames analysed since the run began, and the
    // figures of every microphone of the frame.
    uint64_t trames_sante = 0;
    std::vector<StatistiquesMicro> bilan;

    // The assistant: where its reading stands, and every microphone
    // calibrated since it was started.
    Calibreur::Etat etat_calibreur = Calibreur::RECHERCHE;
    int micro_calibreur = -1;
    double niveau_calibreur = 0; // dB SPL, the last reading
    std::map<int, MicroCalibre> calibres;

    // A-weighted levels (dB SPL(A) with factors, else dB(A) on the level
    // map's scale), NaN for the microphones not recorded; empty until the
    // first ones. Each over one segment of consecutive frames (16 384 at
    // 50 kHz), a new set every 0.25 s or segment, whichever is longer.
    std::vector<double> niveaux_a;

    // The latest map (no levels before the first) or why there is none;
    // the latest spectrum (micro -1 before the first).
    ImageCarte carte;
    uint64_t cartes = 0; // maps made so far
    std::string erreur_carte;
    // CPU seconds of the analysis thread the map took per second of frames,
    // over the frames of the latest map.
    double charge_carte = 0;
    SpectreMicro spectre;
    // The latest job on the frames kept.
    ResultatTache tache;
};

class AnalyseDirecte {
public:
    AnalyseDirecte() = default;
    ~AnalyseDirecte();
    AnalyseDirecte(const AnalyseDirecte&) = delete;
    AnalyseDirecte& operator=(const AnalyseDirecte&) = delete;

    // Window thread.
    void reglages(const ReglagesDirect& r);
    ReglagesDirect reglages() const;
    // Forgets the health figures and the microphones calibrated.
    void recommence();
    ResultatsDirect resultats() const;
    // Changes with every new result (ResultatsDirect::version), without a copy.
    uint64_t version() const;

    // At a run's start (window thread): the consumer of its frames, or
    // nullptr when nothing is asked. `codes`: the code of every word of a
    // frame; `fs` in Hz; `nb_tampons` blocks in hand at most (PriseTrames).
    std::unique_ptr<PriseTrames> commence(const std::vector<int32_t>& codes, bool flottant, double fs,
                                          int nb_tampons = 3);
    // The run's thread, at the end: the last frames taken, the thread ended.
    void termine(PriseTrames& prise);

    // The consumer's thread.
    void consomme(const uint32_t* mots, size_t trames, bool suite);

    // Window thread: a job on the frames kept, on a thread of its own, with
    // the settings in force; its result comes in ResultatsDirect::tache.
    // False, with the reason in `erreur`, while another one runs.
    bool lance(const DemandeTache& d, std::string& erreur);
    // Until the latest job has ended.
    void attend_tache();

private:
    void publie_sante();
    void garde(const uint32_t* mots, size_t trames, bool suite);
    void execute(const DemandeTache& d, const ReglagesDirect& r, const ReglagesCarte& carte, uint64_t numero);
    void calibre(const uint32_t* mots, size_t trames, bool suite);
    void niveaux_a(const uint32_t* mots, size_t trames, bool suite);
    void publie_niveaux_a();
    void carte(const uint32_t* mots, size_t trames, bool suite);
    void spectre(const uint32_t* mots, size_t trames, bool suite);

    mutable std::mutex m_;
    ReglagesDirect reglages_;
    uint64_t version_reglages_ = 0;
    uint64_t recommence_ = 0;
    ResultatsDirect resultats_;

    // The consumer's own state.
    std::vector<int32_t> codes_;
    bool flottant_ = false;
    double fs_ = 0;
    ReglagesDirect r_;
    uint64_t vu_ = 0, recommence_vu_ = 0;
    std::unique_ptr<AnalyseMicros> sante_;
    uint64_t sante_publiee_ = 0; // frames at the last publication
    std::unique_ptr<Calibreur> calibreur_;
    std::map<int, MicroCalibre> calibres_;
    uint64_t trames_a_ = 0; // frames since the last A-weighted levels
#ifdef ONDARIS_FFTW
    // The A-weighted levels' segment: microphone i's frames in row i.
    std::unique_ptr<Welch> welch_a_;
    std::vector<int32_t> micros_a_, mots_a_;
    std::vector<float> tampon_a_;
    size_t remplis_a_ = 0;
    std::vector<double> gain_a_; // the A curve's power gain per line
    std::unique_ptr<CarteDirecte> carte_;
    std::unique_ptr<SpectreDirect> spectre_;
    uint64_t trames_spectre_ = 0; // frames since the last spectrum published
#endif
    bool carte_a_refaire_ = true, spectre_a_refaire_ = true;
    double bande_choisie_ = 0;  // Hz, the loudest third-octave (bande_la_plus_forte); 0: none yet
    double secondes_carte_ = 0; // the map's time since its latest map
    size_t trames_carte_ = 0;   // and the frames it took

    // The frames kept, filled by the consumer unless a job holds them; a
    // job asked gets them for its time (no frame is kept meanwhile: the
    // next ones start the stretch afresh).
    std::mutex m_memoire_;
    std::unique_ptr<MemoireTrames> memoire_;
    bool memoire_tenue_ = false;   // by the job
    bool memoire_perimee_ = false; // a run began while the job held them
    bool trou_memoire_ = false;    // consumer: frames went unkept
    std::thread tache_;            // window thread's
};

// The factor microphone m has under `r` (the nominal one when none is loaded).
double facteur_micro(const std::vector<double>& facteurs, int m);
