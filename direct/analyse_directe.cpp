#include "direct/analyse_directe.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/plateforme.h"
#include "analyse/acoustique.h"
#ifdef ONDARIS_FFTW
#include "analyse/distance_auto.h"
#include "analyse/ecoute.h"
#include "analyse/spectre.h"
#include "files/wav.h"
#endif

namespace {

constexpr double PERIODE_SANTE_S = 0.5;    // the health figures, published every
constexpr double PERIODE_NIVEAUX_S = 0.25; // the A-weighted levels, computed every (at least)

} // namespace

double facteur_micro(const std::vector<double>& facteurs, int m)
{
    if (m >= 0 && size_t(m) < facteurs.size() && facteurs[size_t(m)] > 0)
        return facteurs[size_t(m)];
    return 1.0 / SENSIBILITE_NOMINALE;
}

void AnalyseDirecte::reglages(const ReglagesDirect& r)
{
    std::lock_guard<std::mutex> l(m_);
    reglages_ = r;
    ++version_reglages_;
}

ReglagesDirect AnalyseDirecte::reglages() const
{
    std::lock_guard<std::mutex> l(m_);
    return reglages_;
}

void AnalyseDirecte::recommence()
{
    std::lock_guard<std::mutex> l(m_);
    ++recommence_;
    resultats_.bilan.clear();
    resultats_.trames_sante = 0;
    resultats_.calibres.clear();
    resultats_.micro_calibreur = -1;
    resultats_.etat_calibreur = Calibreur::RECHERCHE;
    ++resultats_.version;
}

uint64_t AnalyseDirecte::version() const
{
    std::lock_guard<std::mutex> l(m_);
    return resultats_.version;
}

ResultatsDirect AnalyseDirecte::resultats() const
{
    std::lock_guard<std::mutex> l(m_);
    return resultats_;
}

std::unique_ptr<PriseTrames> AnalyseDirecte::commence(const std::vector<int32_t>& codes, bool flottant, double fs,
                                                      int nb_tampons)
{
    {
        // The frames kept of the run before are forgotten.
        std::lock_guard<std::mutex> l(m_memoire_);
        if (memoire_tenue_)
            memoire_perimee_ = true;
        else
            memoire_.reset();
        trou_memoire_ = false;
    }
    std::lock_guard<std::mutex> l(m_);
    if (!reglages_.voulu())
        return nullptr;
    // No consumer thread runs yet: its state is set from here.
    codes_ = codes;
    flottant_ = flottant;
    fs_ = fs;
    vu_ = 0;
    carte_a_refaire_ = spectre_a_refaire_ = true;
    bande_choisie_ = 0;
    sante_.reset();
    calibreur_.reset();
    sante_publiee_ = 0;
    trames_a_ = 0;
#ifdef ONDARIS_FFTW
    welch_a_.reset();
#endif
    resultats_.en_cours = true;
    resultats_.frequence = fs;
    resultats_.paquets_ignores = 0;
    resultats_.bilan.clear();
    resultats_.trames_sante = 0;
    resultats_.niveaux_a.clear();
    ++resultats_.version;
    return std::make_unique<PriseTrames>(
        static_cast<int>(codes.size()),
        [this](const uint32_t* mots, size_t n, bool suite) { consomme(mots, n, suite); }, nb_tampons);
}

void AnalyseDirecte::termine(PriseTrames& prise)
{
    prise.termine(5000);
    if (sante_)
        publie_sante();
    std::lock_guard<std::mutex> l(m_);
    resultats_.en_cours = false;
    resultats_.paquets_ignores = prise.paquets_ignores();
    ++resultats_.version;
}

void AnalyseDirecte::consomme(const uint32_t* mots, size_t trames, bool suite)
{
    {
        std::lock_guard<std::mutex> l(m_);
        if (vu_ != version_reglages_ || recommence_vu_ != recommence_) {
            const bool calibreur_avant = r_.calibreur;
            const ReglagesDirect avant = r_;
            r_ = reglages_;
            carte_a_refaire_ = carte_a_refaire_ || r_.reglages_carte != avant.reglages_carte ||
                               r_.geometrie != avant.geometrie || r_.exclus != avant.exclus ||
                               r_.facteurs != avant.facteurs || r_.carte != avant.carte;
            spectre_a_refaire_ =
                spectre_a_refaire_ || r_.micro_spectre != avant.micro_spectre || r_.facteurs != avant.facteurs;
            vu_ = version_reglages_;
            if (recommence_vu_ != recommence_) {
                recommence_vu_ = recommence_;
                sante_.reset();
                calibres_.clear();
                calibreur_.reset();
            }
            if (!r_.sante || r_.geometrie != avant.geometrie)
                sante_.reset();
            if (!r_.calibreur || !calibreur_avant)
                calibreur_.reset();
            if (!r_.calibreur)
                calibres_.clear();
        }
    }
    if (r_.sante) {
        if (!sante_) {
            sante_ = std::make_unique<AnalyseMicros>(codes_, flottant_, r_.geometrie.get(), fs_);
            sante_publiee_ = 0;
        }
        sante_->ajoute(mots, trames, suite);
        if (double(sante_->trames() - sante_publiee_) >= PERIODE_SANTE_S * fs_)
            publie_sante();
    }
    if (r_.calibreur && frequence_calibrable(fs_))
        calibre(mots, trames, suite);
    if (r_.ponderation_a)
        niveaux_a(mots, trames, suite);
#ifdef ONDARIS_FFTW
    garde(mots, trames, suite);
#endif
    carte(mots, trames, suite);
    spectre(mots, trames, suite);
}

void AnalyseDirecte::garde(const uint32_t* mots, size_t trames, bool suite)
{
    std::lock_guard<std::mutex> l(m_memoire_);
    if (memoire_tenue_) {
        trou_memoire_ = true;
        return;
    }
    if (!r_.carte || !r_.geometrie || !r_.garde_trames) {
        memoire_.reset();
        return;
    }
    if (!memoire_ || memoire_->codes() != codes_ || memoire_->frequence() != fs_ || memoire_->flottant() != flottant_)
        memoire_ = std::make_unique<MemoireTrames>(codes_, flottant_, fs_, DUREE_ECOUTE_S, MEMOIRE_ECOUTE_OCTETS);
    memoire_->ajoute(mots, trames, suite && !trou_memoire_);
    trou_memoire_ = false;
}

AnalyseDirecte::~AnalyseDirecte() { attend_tache(); }

void AnalyseDirecte::attend_tache()
{
    if (tache_.joinable())
        tache_.join();
}

bool AnalyseDirecte::lance(const DemandeTache& d, std::string& erreur)
{
    ReglagesDirect r;
    ReglagesCarte carte;
    uint64_t numero = 0;
    {
        std::lock_guard<std::mutex> l(m_);
        if (resultats_.tache.en_cours) {
            erreur = "une écoute ou une recherche de distance est déjà en cours";
            return false;
        }
        r = reglages_;
        carte = reglages_.reglages_carte;
        if (reglages_.bande_la_plus_forte && !resultats_.carte.niveaux.empty()) {
            carte.bande = resultats_.carte.reglages.bande;
            carte.octave = false;
        }
        numero = resultats_.tache.numero + 1;
        resultats_.tache = ResultatTache{};
        resultats_.tache.numero = numero;
        resultats_.tache.genre = d.genre;
        resultats_.tache.en_cours = true;
        ++resultats_.version;
    }
    attend_tache(); // the one before has said it ended
    tache_ = std::thread([this, d, r, carte, numero] { execute(d, r, carte, numero); });
    return true;
}

namespace {

#ifdef ONDARIS_FFTW
std::string texte(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string texte(const char* format, ...)
{
    char t[512];
    va_list a;
    va_start(a, format);
    std::vsnprintf(t, sizeof t, format, a);
    va_end(a);
    return t;
}

void ecoute_gardee(const DemandeTache& d, const ReglagesDirect& r, const MemoireTrames& m, ResultatTache& t)
{
    const Geometrie& g = *r.geometrie;
    std::vector<int32_t> micros, mots;
    micros_du_cadre(m.codes(), micros, mots);
    std::vector<int> mi, mo;
    std::vector<float> facteurs;
    for (size_t i = 0; i < micros.size(); ++i) {
        const int c = micros[i];
        if (c >= static_cast<int>(g.size()) || std::find(r.exclus.begin(), r.exclus.end(), c) != r.exclus.end())
            continue;
        mi.push_back(c);
        mo.push_back(mots[i]);
        facteurs.push_back(static_cast<float>(facteur_micro(r.facteurs, c)));
    }
    DemandeEcoute de;
    de.point = d.point;
    de.bande = d.bande;
    Ecoute e;
    std::string erreur;
    if (mi.empty())
        erreur = "aucun micro de la trame dans la géométrie";
    else if (ecoute_trames(m.dernieres(m.trames()), m.codes().size(), m.flottant(), m.frequence(), g, mi, mo, facteurs,
                           de, e, erreur) == 0)
        ecrit_wav(d.chemin, e.signal, static_cast<uint32_t>(std::lround(m.frequence())), erreur);
    if (!erreur.empty()) {
        t.message = "Écoute impossible : " + erreur;
        return;
    }
    t.reussie = true;
    t.duree = static_cast<double>(e.signal.size()) / m.frequence();
    t.niveau = e.niveau;
    t.message = texte("Écoute du point (%.3f, %.3f, %.3f) m : %.2f s, %d micros, %.1f dB SPL%s, écrite dans %s",
                      d.point.x, d.point.y, d.point.z, t.duree, e.micros, e.niveau,
                      r.facteurs.empty() ? " (sensibilité nominale)" : "", d.chemin.c_str());
}

void distance_gardee(const DemandeTache& d, const ReglagesDirect& r, ReglagesCarte rc, const MemoireTrames& m,
                     ResultatTache& t)
{
    const Geometrie& g = *r.geometrie;
    // The plain map, diagonal kept (the focus measure needs every term),
    // levels at the array's centre.
    rc.sans_diagonale = false;
    rc.reference = ReferenceNiveau::Centre;
    rc.moyenne = DUREE_DISTANCE_S;
    rc.z = d.z_min;
    const CarteDirecte essai(g, m.codes(), m.flottant(), m.frequence(), r.exclus, r.facteurs, rc);
    if (!essai.valide()) {
        t.message = "Distance introuvable : " + essai.erreur();
        return;
    }
    const size_t periode = essai.periode();
    if (m.trames() < periode) {
        t.message = "Distance introuvable : " + std::to_string(m.trames()) + " trames gardées, " +
                    std::to_string(periode) + " nécessaires";
        return;
    }
    std::vector<Point3> positions;
    for (int c : essai.micros())
        positions.push_back(g[size_t(c)]);
    const std::vector<MorceauTrames> morceaux = m.dernieres(periode);
    const double reference = r.facteurs.empty() ? 1.0 : PRESSION_REFERENCE * PRESSION_REFERENCE;
    const CarteEssai carte = [&](double z, Carte& c, std::string& erreur) {
        rc.z = z;
        CarteDirecte k(g, m.codes(), m.flottant(), m.frequence(), r.exclus, r.facteurs, rc);
        if (!k.valide()) {
            erreur = k.erreur();
            return -1;
        }
        bool suite = false;
        for (const MorceauTrames& p : morceaux) {
            k.ajoute(p.mots, p.trames, suite);
            suite = true;
        }
        if (!k.nouvelle()) {
            erreur = "aucune carte des trames gardées";
            return -1;
        }
        const ImageCarte& im = k.derniere();
        c.grille = im.grille;
        c.moyennes.resize(im.niveaux.size());
        for (size_t i = 0; i < im.niveaux.size(); ++i)
            c.moyennes[i] = std::pow(10.0, im.niveaux[i] / 10) * reference;
        return 0;
    };
    double z = 0;
    int cartes = 0;
    std::string erreur;
    if (balaye_distance(positions, d.z_min, d.z_max, carte, z, cartes, erreur) != 0) {
        t.message = "Distance introuvable : " + erreur;
        return;
    }
    t.reussie = true;
    t.z = z;
    t.message = texte("Plan de la carte : distance trouvée z = %.3f m (%d cartes de %.2f s de trames entre %.2f et "
                      "%.2f m, bande de %g Hz)",
                      z, cartes, double(periode) / m.frequence(), d.z_min, d.z_max, rc.bande);
}
#endif

} // namespace

void AnalyseDirecte::execute(const DemandeTache& d, const ReglagesDirect& r, const ReglagesCarte& carte,
                             uint64_t numero)
{
    std::unique_ptr<MemoireTrames> m;
    {
        std::lock_guard<std::mutex> l(m_memoire_);
        m = std::move(memoire_);
        memoire_tenue_ = true;
        memoire_perimee_ = false;
    }
    ResultatTache t;
    t.numero = numero;
    t.genre = d.genre;
#ifdef ONDARIS_FFTW
    if (!m || m->trames() == 0)
        t.message = "aucune trame gardée : la carte n'a encore reçu aucune trame";
    else if (!r.geometrie)
        t.message = "aucune géométrie chargée";
    else if (d.genre == DemandeTache::ECOUTE)
        ecoute_gardee(d, r, *m, t);
    else
        distance_gardee(d, r, carte, *m, t);
#else
    (void)r;
    (void)carte;
    t.message = "programme construit sans FFTW : ni écoute ni recherche de distance";
#endif
    {
        std::lock_guard<std::mutex> l(m_memoire_);
        if (!memoire_perimee_ && !memoire_)
            memoire_ = std::move(m);
        memoire_tenue_ = false;
    }
    std::lock_guard<std::mutex> l(m_);
    resultats_.tache = t;
    ++resultats_.version;
}

void AnalyseDirecte::publie_sante()
{
    std::vector<StatistiquesMicro> bilan = sante_->bilan();
    sante_publiee_ = sante_->trames();
    std::lock_guard<std::mutex> l(m_);
    resultats_.bilan = std::move(bilan);
    resultats_.trames_sante = sante_publiee_;
    ++resultats_.version;
}

// One reading after another: a microphone found and read steadily gets its
// factor, and the search starts again for the next one. The factors of the
// microphones done replace the loaded ones for the readings that follow.
void AnalyseDirecte::calibre(const uint32_t* mots, size_t trames, bool suite)
{
    if (!calibreur_) {
        std::vector<double> facteurs(1024);
        for (int m = 0; m < 1024; ++m) {
            const auto c = calibres_.find(m);
            facteurs[size_t(m)] = c != calibres_.end() ? c->second.facteur : facteur_micro(r_.facteurs, m);
        }
        calibreur_ = std::make_unique<Calibreur>(codes_, flottant_, fs_, std::move(facteurs));
        suite = false;
    }
    calibreur_->ajoute(mots, trames, suite);
    const Calibreur& c = *calibreur_;
    std::lock_guard<std::mutex> l(m_);
    resultats_.etat_calibreur = c.etat();
    resultats_.micro_calibreur = c.micro();
    if (!c.lectures().empty())
        resultats_.niveau_calibreur = c.lectures().back();
    if (c.etat() == Calibreur::STABLE) {
        const int m = c.micro();
        const auto avant = calibres_.find(m);
        const double f = avant != calibres_.end() ? avant->second.facteur : facteur_micro(r_.facteurs, m);
        // Read again while the calibrator stays on it: the first reading holds.
        if (avant == calibres_.end())
            calibres_[m] = MicroCalibre{facteur_calibre(f, c.niveau(), r_.reference), c.niveau()};
        resultats_.niveau_calibreur = c.niveau();
        resultats_.calibres = calibres_;
    }
    if (c.fini())
        calibreur_.reset();
    ++resultats_.version;
}

#ifdef ONDARIS_FFTW
// Segment length of the A-weighted levels: the A curve falls by 0.7 dB per
// hertz around 31.5 Hz, so a tone's Hann lobe there must be a few hertz
// wide at most for its weighted level to hold: two lines in the 31.5 Hz
// band (16 384 frames at 50 kHz, 0.12 dB off there, 1024 at 2 kHz).
namespace {

int points_niveaux_a(double fs)
{
    Bande b;
    for (const Bande& x : bandes_tiers_octave(fs / 2))
        if (x.nominale == 31.5)
            b = x;
    return points_bandes(fs, b, 2, 256, 16384);
}

} // namespace

// The A-weighted mean square of each microphone over one segment of
// consecutive frames per period: its spectrum (the segment's mean out),
// every line weighted by the A curve's gain. Only the frames of the
// segment are converted, each once: the cost per second of frames stays
// that of transforming every microphone's frames once at most.
void AnalyseDirecte::niveaux_a(const uint32_t* mots, size_t trames, bool suite)
{
    if (!welch_a_) {
        micros_du_cadre(codes_, micros_a_, mots_a_);
        const int n = points_niveaux_a(fs_);
        welch_a_ = std::make_unique<Welch>(fs_, n);
        tampon_a_.assign(micros_a_.size() * size_t(n), 0.0f);
        gain_a_.assign(size_t(n / 2 + 1), 0.0);
        for (size_t k = 1; k < gain_a_.size(); ++k)
            gain_a_[k] = std::pow(10.0, ponderation_a(double(k) * welch_a_->resolution()) / 10.0);
        remplis_a_ = 0;
    }
    const size_t n = size_t(welch_a_->points()), nb_mots = codes_.size();
    const size_t periode = std::max(n, size_t(std::lround(PERIODE_NIVEAUX_S * fs_)));
    if (!suite)
        remplis_a_ = 0;
    for (size_t t = 0; t < trames;) {
        if (remplis_a_ == 0) {
            // The segment ends with the period: the frames before it are left.
            const size_t attente = trames_a_ + n < periode ? periode - n - trames_a_ : 0;
            const size_t saut = std::min(attente, trames - t);
            t += saut;
            trames_a_ += saut;
            if (t == trames)
                break;
        }
        const size_t k = std::min(n - remplis_a_, trames - t);
        for (size_t i = 0; i < micros_a_.size(); ++i) {
            float* x = tampon_a_.data() + i * n + remplis_a_;
            const uint32_t* v = mots + t * nb_mots + size_t(mots_a_[i]);
            for (size_t u = 0; u < k; ++u, v += nb_mots) {
                if (flottant_)
                    std::memcpy(&x[u], v, 4);
                else
                    x[u] = float(int32_t(*v));
            }
        }
        t += k;
        trames_a_ += k;
        remplis_a_ += k;
        if (remplis_a_ == n) {
            publie_niveaux_a();
            remplis_a_ = 0;
            trames_a_ = 0;
        }
    }
}

void AnalyseDirecte::publie_niveaux_a()
{
    const size_t n = size_t(welch_a_->points());
    const double df = welch_a_->resolution();
    std::vector<double> niveaux(1024, std::numeric_limits<double>::quiet_NaN());
    for (size_t i = 0; i < micros_a_.size(); ++i) {
        const int m = micros_a_[i];
        welch_a_->remet();
        welch_a_->ajoute(tampon_a_.data() + i * n, n);
        const std::vector<double> d = welch_a_->densite();
        double ms = 0;
        for (size_t k = 1; k < d.size(); ++k)
            ms += d[k] * gain_a_[k] * df;
        if (!r_.facteurs.empty()) {
            const double f = facteur_micro(r_.facteurs, m);
            niveaux[size_t(m)] = niveau_spl(ms * f * f);
        } else {
            niveaux[size_t(m)] = 10.0 * std::log10(std::max(ms, 1.0)) - 15.0;
        }
    }
    std::lock_guard<std::mutex> l(m_);
    resultats_.niveaux_a = std::move(niveaux);
    ++resultats_.version;
}

constexpr double PERIODE_SPECTRE_S = 0.25; // a spectrum published every
// The live spectrum averages the segments of the latest DUREE_SPECTRE_S to
// twice that (four segments at least: its segments of 65 536 points at
// 50 kHz last 1.3 s each).
constexpr double DUREE_SPECTRE_S = 2;

int segments_spectre(double fs, int points) { return std::max(4, int(std::ceil(DUREE_SPECTRE_S * fs / (points / 2)))); }

// The map's object is made again when its settings change; it is made
// here, on this thread, as its steering takes a fraction of a second.
void AnalyseDirecte::carte(const uint32_t* mots, size_t trames, bool suite)
{
    if (!r_.carte || !r_.geometrie) {
        carte_.reset();
        return;
    }
    ReglagesCarte rc = r_.reglages_carte;
    if (r_.bande_la_plus_forte) {
        // Until the first spectrum has said which band.
        if (bande_choisie_ <= 0) {
            carte_.reset();
            return;
        }
        rc.bande = bande_choisie_;
        rc.octave = false;
    }
    if (carte_a_refaire_ || !carte_) {
        carte_a_refaire_ = false;
        carte_ = std::make_unique<CarteDirecte>(*r_.geometrie, codes_, flottant_, fs_, r_.exclus, r_.facteurs, rc);
        std::lock_guard<std::mutex> l(m_);
        resultats_.erreur_carte = carte_->erreur();
        ++resultats_.version;
        suite = false;
    }
    if (!carte_->valide())
        return;
    // The thread's CPU time per second of frames, over the frames of each
    // map: what the map costs, not what other programs took of the core.
    const double debut = cpu_fil_s();
    carte_->ajoute(mots, trames, suite);
    secondes_carte_ += cpu_fil_s() - debut;
    trames_carte_ += trames;
    if (!carte_->nouvelle())
        return;
    ImageCarte c = carte_->derniere();
    const double charge = fs_ > 0 && trames_carte_ > 0 ? secondes_carte_ * fs_ / static_cast<double>(trames_carte_) : 0;
    secondes_carte_ = 0;
    trames_carte_ = 0;
    std::lock_guard<std::mutex> l(m_);
    resultats_.carte = std::move(c);
    ++resultats_.cartes;
    resultats_.charge_carte = charge;
    ++resultats_.version;
}

void AnalyseDirecte::spectre(const uint32_t* mots, size_t trames, bool suite)
{
    if (r_.micro_spectre < 0) {
        spectre_.reset();
        return;
    }
    if (spectre_a_refaire_) {
        spectre_a_refaire_ = false;
        const int m = r_.micro_spectre, points = points_spectre(fs_);
        spectre_ = std::make_unique<SpectreDirect>(codes_, flottant_, fs_, m,
                                                   r_.facteurs.empty() ? 0.0 : facteur_micro(r_.facteurs, m),
                                                   segments_spectre(fs_, points), points);
        trames_spectre_ = 0;
        suite = false;
    }
    if (!spectre_->valide())
        return;
    spectre_->ajoute(mots, trames, suite);
    trames_spectre_ += trames;
    // The map's band from the first segment, so that the map need not wait
    // for a published spectrum.
    if (r_.bande_la_plus_forte && bande_choisie_ <= 0 && spectre_->segments() > 0) {
        const SpectreMicro s = spectre_->spectre();
        size_t k = 0;
        for (size_t b = 1; b < s.niveaux.size() && b < s.bandes.size(); ++b)
            if (s.niveaux[b] > s.niveaux[k])
                k = b;
        if (k < s.bandes.size()) {
            bande_choisie_ = s.bandes[k].nominale;
            carte_a_refaire_ = true;
        }
    }
    if (double(trames_spectre_) < PERIODE_SPECTRE_S * fs_ || spectre_->segments() == 0)
        return;
    trames_spectre_ = 0;
    SpectreMicro s = spectre_->spectre();
    std::lock_guard<std::mutex> l(m_);
    resultats_.spectre = std::move(s);
    ++resultats_.version;
}
#else
void AnalyseDirecte::niveaux_a(const uint32_t*, size_t, bool) {}
void AnalyseDirecte::publie_niveaux_a() {}
void AnalyseDirecte::carte(const uint32_t*, size_t, bool) {}
void AnalyseDirecte::spectre(const uint32_t*, size_t, bool) {}
#endif
