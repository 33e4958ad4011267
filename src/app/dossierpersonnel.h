#pragma once

#include <QTemporaryDir>

#include <memory>

/**
 * Qt takes the user's home from HOME alone and, without it, puts the stores under "/" (as root, a /.config
 * at the root of the file system). With HOME unset, the home is taken from the password database; a user
 * without one gets a private temporary home, removed with the returned object, so that nothing is kept on
 * disk. Null when HOME was usable.
 */
std::unique_ptr<QTemporaryDir> etablirDossierPersonnel();
