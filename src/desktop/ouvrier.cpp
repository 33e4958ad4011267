#include "ouvrier.h"

Ouvrier::Ouvrier()
{
    pool.setMaxThreadCount(1);
}

Ouvrier::~Ouvrier()
{
    pool.waitForDone();
}

void Ouvrier::planifier(std::function<void()> travail)
{
    QMutexLocker garde(&verrou);
    enAttente = std::move(travail);
    if (lance)
        return;
    lance = true;
    pool.start([this] { vider(); });
}

bool Ouvrier::attendre(int msecs)
{
    return pool.waitForDone(msecs);
}

void Ouvrier::vider()
{
    for (;;) {
        std::function<void()> travail;
        {
            QMutexLocker garde(&verrou);
            if (!enAttente) {
                lance = false;
                return;
            }
            travail = std::move(enAttente);
            enAttente = nullptr;
        }
        travail();
    }
}
