#pragma once

#include "media/i420frame.h"

#include <QMatrix4x4>
#include <QMutex>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLVertexArrayObject>
#include <QOpenGLWidget>

#include <atomic>

class QOpenGLShaderProgram;
class QOpenGLTexture;

// Draws the latest I420 frame with OpenGL: the three planes go up as textures, a fragment shader turns
// them into RGB (BT.601 limited range), the picture is fitted into the widget keeping its aspect ratio,
// centred, and turned clockwise by the frame's rotation. setFrame may be called from any thread; it only
// swaps the held frame under the mutex. Everything else runs on the GUI thread, which repaints at most
// every 40 ms and only after a new frame. The widget owns its GL resources and frees them with its
// context.
class OpenGLWidget : public QOpenGLWidget, protected QOpenGLFunctions {
    Q_OBJECT
public:
    explicit OpenGLWidget(QWidget* parent = nullptr);
    ~OpenGLWidget() override;

    // Holds `frame` (an empty pointer or an empty frame shows black) and releases the one before; true.
    bool setFrame(const I420FramePtr& frame);
    // The frame held for the next paint; any thread.
    I420FramePtr frame() const;

public slots:
    void cleanup();

protected:
    void timerEvent(QTimerEvent* event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    void createTextures();
    void createQuad();
    bool createProgram();
    void uploadPlane(int unit, QOpenGLTexture* texture, const uint8_t* data, uint32_t stride, uint32_t rows);

    I420FramePtr m_frame;
    mutable QMutex m_mutex;
    int m_timerId = 0;
    std::atomic<bool> m_dirty { true };
    QOpenGLTexture* m_textures[3] = {};
    QOpenGLShaderProgram* m_program = nullptr;
    int m_modelLocation = -1;
    int m_viewLocation = -1;
    int m_projectionLocation = -1;
    int m_texYLocation = -1;
    int m_texULocation = -1;
    int m_texVLocation = -1;
    int m_strideScaleYLocation = -1;
    int m_strideScaleULocation = -1;
    int m_strideScaleVLocation = -1;
    QOpenGLVertexArrayObject m_vertexArray;
    QOpenGLBuffer m_vertexBuffer;
    QMatrix4x4 m_projection;
};
