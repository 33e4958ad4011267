#pragma once

#include "bureau.h"

/** The Windows desktop: SystemParametersInfoW and the user's desktop registry key. */
class BureauWindows final : public Bureau
{
public:
    QString nom() const override;
    void remettre(const QString &chemin) override;
    int lirePosition() override;
    void enregistrerPosition(int position) override;
    // SystemParametersInfoW reads the whole picture before it returns; any thread may wait for that.
    bool appelableDeToutFil() const override { return true; }
};
