#pragma once

class QDialog;
class QLabel;
class QWidget;

// What the two small input dialogs share: a fixed-geometry form, one prompt, one "OK".

/** The window part of the form: name (when none), application modality, 260 × 113, modal. */
void preparerSaisie(QDialog *dialogue, const char *nom);

/** Ends the form: slots by name, sizes for the font, the program's icon. */
void terminerSaisie(QDialog *dialogue, QLabel *invite, QLabel *unite = nullptr);

/**
 * Grows a fixed-geometry dialog just enough for its texts in the current font: the prompt gets the height its
 * wrapped text needs (the widgets below move down by as much) and the unit label the width it needs, the
 * dialog widening with it. Where the texts fit, nothing moves.
 */
void ajusterAuTexte(QWidget *dialogue, QLabel *invite, QLabel *unite = nullptr);
