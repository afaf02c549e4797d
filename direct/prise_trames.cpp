#include "direct/prise_trames.h"

#include <algorithm>
#include <chrono>
#include <cstring>

PriseTrames::PriseTrames(int nb_voies, Consommateur consommateur, int nb_tampons)
    : octets_trame_(4 * static_cast<size_t>(std::max(nb_voies, 1))), consommateur_(std::move(consommateur)),
      tampons_(static_cast<size_t>(std::max(nb_tampons, 1)))
{
    thread_ = std::thread([this] { consomme(); });
}

PriseTrames::~PriseTrames() { termine(0); }

void PriseTrames::paquet(const unsigned char* octets, uint32_t n, uint64_t position)
{
    const size_t F = octets_trame_;
    const bool suite = contigu_ && position == fin_;
    fin_ = position + n;
    Tampon* t = nullptr;
    {
        std::lock_guard<std::mutex> l(mutex_);
        if (!fin_demandee_)
            for (Tampon& c : tampons_)
                if (c.libre) {
                    c.libre = false;
                    t = &c;
                    break;
                }
    }
    if (!t) {
        ++ignores_;
        contigu_ = false;
        coupe_ = true;
        reste_.clear();
        return;
    }
    contigu_ = true;

    // The frame begun in the previous packet, then the packet's whole frames.
    // With no frame begun, from the packet's first frame boundary: after a
    // packet left out, the next one may end before reaching one (a transfer
    // that failed after a few bytes), and the one after starts mid-frame.
    if (!suite) {
        coupe_ = true;
        reste_.clear();
    }
    size_t i = std::min<size_t>(n, (F - position % F) % F);
    const size_t place = (n / F + 1) * (F / 4);
    if (t->mots.size() < place)
        t->mots.resize(place);
    unsigned char* dest = reinterpret_cast<unsigned char*>(t->mots.data());
    size_t trames = 0;
    if (!reste_.empty()) {
        i = std::min<size_t>(n, F - reste_.size());
        reste_.insert(reste_.end(), octets, octets + i);
        if (reste_.size() == F) {
            std::memcpy(dest, reste_.data(), F);
            reste_.clear();
            trames = 1;
        }
    }
    const size_t k = (n - i) / F;
    std::memcpy(dest + trames * F, octets + i, k * F);
    trames += k;
    i += k * F;
    if (i < n)
        reste_.assign(octets + i, octets + n);

    std::lock_guard<std::mutex> l(mutex_);
    if (trames == 0) {
        t->libre = true;
        return;
    }
    t->trames = trames;
    t->suite = !coupe_;
    coupe_ = false;
    file_.push_back(t);
    travail_.notify_one();
}

void PriseTrames::consomme()
{
    std::unique_lock<std::mutex> l(mutex_);
    for (;;) {
        travail_.wait(l, [this] { return !file_.empty() || fin_demandee_; });
        if (file_.empty())
            return;
        Tampon* t = file_.front();
        file_.pop_front();
        ++en_cours_;
        l.unlock();
        consommateur_(t->mots.data(), t->trames, t->suite);
        l.lock();
        --en_cours_;
        t->libre = true;
        fait_.notify_all();
    }
}

bool PriseTrames::termine(int delai_ms)
{
    std::unique_lock<std::mutex> l(mutex_);
    bool complet = true;
    if (!fin_demandee_) {
        fait_.wait_for(l, std::chrono::milliseconds(std::max(delai_ms, 0)),
                       [this] { return file_.empty() && en_cours_ == 0; });
        complet = file_.empty();
        ignores_ += file_.size();
        for (Tampon* t : file_)
            t->libre = true;
        file_.clear();
        fin_demandee_ = true;
        travail_.notify_all();
    }
    l.unlock();
    if (thread_.joinable())
        thread_.join();
    return complet;
}
