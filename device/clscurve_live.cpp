// Live displays of the device: position, force and trim of the current
// channel as numbers and as cross-hair lines on the curve plot, the channel's
// force curve rebuilt from its user record, and the device rows of the
// simulator page.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "configcommands.h"
#include "forcecurve.h"
#include "livecrosshair.h"
#include "pagedisplay.h"
#include "widgetupdates.h"

#include <QAbstractItemModel>
#include <qcustomplot.h>
#include <cstring>
#include <utility>

void clscurve::applyCurveAxes(int channel)
{
    CurveAxisSet a;
    if (!curveAxisSetForChannel(channel, &a))
        return;
    QCustomPlot *plot = ui->customplot1;
    plot->xAxis->setRange(a.xMin, a.xMax);
    plot->xAxis->setLabel(a.xLabel);
    plot->yAxis->setRange(a.yMin, a.yMax);
    plot->yAxis->setLabel(a.yLabel);
    plot->xAxis->ticker()->setTickCount(a.tickCount);
    plot->yAxis->ticker()->setTickCount(a.tickCount);
}

namespace {
// Sets a graph to the two points (k1, v1) and (k2, v2), ordered by key as
// setData with alreadySorted false would order them.
void setTwoPoints(QCPGraph *g, double k1, double v1, double k2, double v2)
{
    if (k2 < k1) {
        std::swap(k1, k2);
        std::swap(v1, v2);
    }
    QSharedPointer<QCPGraphDataContainer> d = g->data();
    if (d->size() != 2) {
        g->setData(QVector<double>{k1, k2}, QVector<double>{v1, v2}, false);
        return;
    }
    QCPGraphDataContainer::iterator it = d->begin();
    it->key = k1;
    it->value = v1;
    ++it;
    it->key = k2;
    it->value = v2;
}
}

void clscurve::plotLivePoint()
{
    // The trace graph (2) is left alone: its mode is never switched on, and
    // filling it with the empty trace would wipe the plot's reference line.
    const int c = currentChannel;
    const int src = c == 1 ? 1 : 0;
    QCustomPlot *plot = ui->customplot1;
    const QCPRange xBefore = plot->xAxis->range(), yBefore = plot->yAxis->range();
    applyCurveAxes(c);
    const bool axesChanged = plot->xAxis->range() != xBefore || plot->yAxis->range() != yBefore;
    const LivePointView v = livePointView(c, liveData[src][0], liveData[src][1], liveData[src][2]);

    // Both channels report on every poll tick, yet only the current one is
    // drawn: a report that changes nothing on screen costs no redraw.
    if (!axesChanged && c == liveDrawnChannel && v.position == liveDrawn[0] && v.force == liveDrawn[1]
        && v.trim == liveDrawn[2])
        return;
    liveDrawnChannel = c;
    liveDrawn[0] = v.position;
    liveDrawn[1] = v.force;
    liveDrawn[2] = v.trim;

    // The trim, and often the force, stay put.
    setTextIfChanged(ui->lineEdit_pos_0, v.positionText);
    setTextIfChanged(ui->lineEdit_com_force_0, v.forceText);
    setTextIfChanged(ui->lineEdit_trim_pos_0, v.trimText);

    // The two lines keep their two points; only the coordinates change, in
    // place, so a live point allocates nothing. The plot shows them with its
    // next frame.
    setTwoPoints(plot->graph(4), v.position, 250.0, v.position, -250.0);
    setTwoPoints(plot->graph(5), 100.0, v.force, -100.0, v.force);
    if (axesChanged)
        liveCrosshair->replotAll();
    else
        liveCrosshair->requestFrame();
}

void clscurve::onUARTget_channel_config(uint8_t chan, UART_get_chan_config_t *record)
{
    if (!record || chan > 1)
        return;
    chanSetImage[chan] = toSetImage(*record);

    if (QAbstractItemModel *model = treeModel) {
        const QModelIndex group = model->index(chan + 1, 0);
        if (group.isValid()) {
            for (int row = 0; row < ChannelRowCount; ++row)
                model->setData(model->index(row, 1, group), channelRowText(chanSetImage[chan], row), Qt::EditRole);
        }
    }

    applyCurveAxes(chan);

    // The curve comes from the device's last user record of this channel,
    // which a profile loaded from file does not replace.
    const ForceCurvePoints curve = buildForceCurve(forceCurveParamsFromImage(userChanReplyImage[chan]),
                                                   positionScaleForChannel(chan));
    const QVector<double> &x = curve.keys;
    const QVector<double> &y = curve.values;
    ui->pos2->setValue(x[1]);
    ui->foc2->setValue(y[1]);
    ui->pos3->setValue(x[2]);
    ui->foc3->setValue(y[2]);
    ui->pos4->setValue(x[4]);
    ui->foc4->setValue(y[4]);
    ui->pos5->setValue(x[5]);
    ui->foc5->setValue(y[5]);

    QCustomPlot *plot = ui->customplot1;
    plot->graph(0)->setData(x, y, false);
    plot->replot(QCustomPlot::rpRefreshHint);
}

void clscurve::updateDeviceLiveDisplays()
{
    // The parameter table's device rows, unscaled.
    std::memcpy(parameterDevice, liveData, sizeof parameterDevice);
    parameterPage->refresh();
}
