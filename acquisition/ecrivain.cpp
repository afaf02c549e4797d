#include "acquisition/ecrivain.h"

#include <cerrno>
#include <chrono>
#include <cstdint>

int Ecrivain::commence(std::FILE* f, const std::string& chemin)
{
    termine();
    f_ = f;
    position_ = f ? position_fichier(f) : 0;
    dernier_direct_ = false;
    echec_ = false;
    int err = 0;
    direct_ = f ? disque_.ouvre_direct(chemin, err) : nullptr;
    {
        std::lock_guard<std::mutex> l(m_);
        fin_ = false;
    }
    fil_ = std::thread(&Ecrivain::boucle, this);
    return direct_ ? 0 : err;
}

void Ecrivain::confie(int slot, const unsigned char* octets, uint32_t n, uint64_t position)
{
    {
        std::lock_guard<std::mutex> l(m_);
        a_ecrire_.push_back({slot, octets, n, position});
        ++confies_;
    }
    travail_.notify_one();
}

bool Ecrivain::rendu(Rendu& r) { return attend_rendu(r, 0); }

bool Ecrivain::attend_rendu(Rendu& r, int ms)
{
    std::unique_lock<std::mutex> l(m_);
    if (ms > 0)
        rendus_prets_.wait_for(l, std::chrono::milliseconds(ms), [this] { return !rendus_.empty(); });
    if (rendus_.empty())
        return false;
    r = rendus_.front();
    rendus_.pop_front();
    --confies_;
    return true;
}

int Ecrivain::en_cours() const
{
    std::lock_guard<std::mutex> l(m_);
    return confies_;
}

int Ecrivain::termine()
{
    if (!fil_.joinable())
        return 0;
    {
        std::lock_guard<std::mutex> l(m_);
        fin_ = true;
    }
    travail_.notify_one();
    fil_.join();
    const int r = disque_.ferme_direct(direct_);
    direct_ = nullptr;
    // Buffered bytes after direct ones: the stream ends where the file does.
    if (f_ && dernier_direct_)
        positionne_fichier(f_, position_);
    f_ = nullptr;
    return r;
}

void Ecrivain::boucle()
{
    std::unique_lock<std::mutex> l(m_);
    for (;;) {
        travail_.wait(l, [this] { return fin_ || !a_ecrire_.empty(); });
        if (a_ecrire_.empty())
            return; // fin_, everything written
        const Travail t = a_ecrire_.front();
        a_ecrire_.pop_front();
        l.unlock();
        const Rendu r = ecrit(t);
        l.lock();
        rendus_.push_back(r);
        rendus_prets_.notify_all();
    }
}

std::size_t Ecrivain::ecrit_tamponne(const unsigned char* octets, std::size_t n)
{
    if (dernier_direct_) {
        // The stream's position is behind the direct writes.
        positionne_fichier(f_, position_);
        dernier_direct_ = false;
    }
    return disque_.ecrit(f_, octets, n);
}

Ecrivain::Rendu Ecrivain::ecrit(const Travail& t)
{
    Rendu r;
    r.slot = t.slot;
    r.n = t.n;
    r.position = t.position;
    if (echec_ || !f_)
        return r;
    r.offert = true;
    const std::size_t n = t.n;
    const bool aligne = position_ % ALIGNEMENT_DIRECT == 0 && n % ALIGNEMENT_DIRECT == 0 &&
                        reinterpret_cast<std::uintptr_t>(t.octets) % ALIGNEMENT_DIRECT == 0;
    const uint64_t debut = position_;
    std::size_t fait = 0;
    errno = 0;
    if (direct_ && aligne && n > 0) {
        if (!dernier_direct_)
            std::fflush(f_); // buffered bytes before reach the file first
        fait = disque_.ecrit_direct(direct_, debut, t.octets, n);
        dernier_direct_ = true;
        if (fait < n && errno == EINVAL) {
            // Refused by the file system (or the rest of a partial write
            // left unaligned): buffered from here on.
            r.refus_direct = true;
            disque_.ferme_direct(direct_);
            direct_ = nullptr;
            position_ = debut + fait;
            errno = 0;
            fait += ecrit_tamponne(t.octets + fait, n - fait);
        }
    } else if (n > 0) {
        fait = ecrit_tamponne(t.octets, n);
    }
    r.err = fait < n ? errno : 0;
    r.ecrits = fait;
    position_ = debut + fait;
    echec_ = fait < n;
    return r;
}
