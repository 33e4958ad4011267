#pragma once

class QLabel;
class QWidget;

/**
 * Grows a fixed-geometry dialog just enough for its texts in the current font: the prompt gets the height its
 * wrapped text needs (the widgets below move down by as much) and the unit label the width it needs.
 * Where the texts fit, nothing moves.
 */
void ajusterAuTexte(QWidget *dialogue, QLabel *invite, QLabel *unite = nullptr);
