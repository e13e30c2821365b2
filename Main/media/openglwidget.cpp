#include "media/openglwidget.h"

#include "media/colormatrix.h"
#include "media/rendergeometry.h"

#include <QMutexLocker>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QOpenGLTexture>
#include <QTimerEvent>

namespace {

constexpr int kRepaintIntervalMs = 40;

// Four (x, y, u, v) vertices of one quad, drawn as a triangle strip; v = 0 is the picture's top row.
constexpr float kQuad[16] = {
    -1.0f, -1.0f, 0.0f, 1.0f, //
    1.0f, -1.0f, 1.0f, 1.0f, //
    -1.0f, 1.0f, 0.0f, 0.0f, //
    1.0f, 1.0f, 1.0f, 0.0f, //
};

const char kVertexShader[] = R"(
attribute vec4 vertexIn;
attribute vec2 textureIn;
uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;
varying vec2 textureOut;
void main()
{
    gl_Position = projection * view * model * vec4(vertexIn.xy, 0.0, 1.0);
    textureOut = textureIn;
}
)";

// %1 is the colour matrix as a mat4 literal.
const char kFragmentShader[] = R"(
#ifdef GL_ES
precision mediump float;
#endif
varying vec2 textureOut;
uniform sampler2D tex_y;
uniform sampler2D tex_u;
uniform sampler2D tex_v;
uniform float strideScaleY;
uniform float strideScaleU;
uniform float strideScaleV;
const mat4 yuvToRgb = %1;
void main()
{
    if (textureOut.x < 0.0 || textureOut.x > 1.0 || textureOut.y < 0.0 || textureOut.y > 1.0) {
        gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0);
        return;
    }
    float y = texture2D(tex_y, vec2(textureOut.x * strideScaleY, textureOut.y)).r;
    float u = texture2D(tex_u, vec2(textureOut.x * strideScaleU, textureOut.y)).r;
    float v = texture2D(tex_v, vec2(textureOut.x * strideScaleV, textureOut.y)).r;
    gl_FragColor = vec4((yuvToRgb * vec4(y, u, v, 1.0)).rgb, 1.0);
}
)";

QString matrixLiteral(const ColorMatrix& matrix)
{
    QStringList values;
    for (const auto& column : matrix.columns)
        for (float value : column)
            values << QString::number(double(value), 'f', 6);
    return QStringLiteral("mat4(%1)").arg(values.join(QStringLiteral(", ")));
}

} // namespace

OpenGLWidget::OpenGLWidget(QWidget* parent)
    : QOpenGLWidget(parent)
    , m_vertexBuffer(QOpenGLBuffer::VertexBuffer)
{
    m_timerId = startTimer(kRepaintIntervalMs, Qt::CoarseTimer);
}

OpenGLWidget::~OpenGLWidget()
{
    killTimer(m_timerId);
    cleanup();
    // The base class destroys the context later, when this object is no longer an OpenGLWidget.
    if (QOpenGLContext* current = context())
        disconnect(current, nullptr, this, nullptr);
    QMutexLocker lock(&m_mutex);
    m_frame.reset();
}

I420FramePtr OpenGLWidget::frame() const
{
    QMutexLocker lock(&m_mutex);
    return m_frame;
}

bool OpenGLWidget::setFrame(const I420FramePtr& frame)
{
    I420FramePtr previous;
    {
        QMutexLocker lock(&m_mutex);
        previous = std::move(m_frame);
        m_frame = frame;
    }
    m_dirty = true;
    return true;
}

void OpenGLWidget::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timerId) {
        QOpenGLWidget::timerEvent(event);
        return;
    }
    if (isVisible() && m_dirty.exchange(false))
        update();
}

void OpenGLWidget::initializeGL()
{
    connect(
        context(), &QOpenGLContext::aboutToBeDestroyed, this, &OpenGLWidget::cleanup, Qt::UniqueConnection);
    initializeOpenGLFunctions();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    createTextures();
    createQuad();
    createProgram();
}

void OpenGLWidget::createTextures()
{
    for (QOpenGLTexture*& texture : m_textures) {
        texture = new QOpenGLTexture(QOpenGLTexture::Target2D);
        texture->create();
        texture->bind();
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        texture->release();
    }
}

void OpenGLWidget::createQuad()
{
    m_vertexArray.create();
    QOpenGLVertexArrayObject::Binder binder(&m_vertexArray);
    m_vertexBuffer.create();
    m_vertexBuffer.bind();
    m_vertexBuffer.allocate(kQuad, sizeof kQuad);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
    glVertexAttribPointer(
        1, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), reinterpret_cast<void*>(2 * sizeof(float)));
    m_vertexBuffer.release();
}

bool OpenGLWidget::createProgram()
{
    m_program = new QOpenGLShaderProgram;
    const QString fragment = QString::fromLatin1(kFragmentShader).arg(matrixLiteral(kBt601LimitedRange));
    if (!m_program->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader)
        || !m_program->addShaderFromSourceCode(QOpenGLShader::Fragment, fragment)) {
        qWarning().noquote() << "OpenGLWidget: shader compilation failed:" << m_program->log();
        return false;
    }
    m_program->bindAttributeLocation("vertexIn", 0);
    m_program->bindAttributeLocation("textureIn", 1);
    if (!m_program->link()) {
        qWarning().noquote() << "OpenGLWidget: shader link failed:" << m_program->log();
        return false;
    }
    m_modelLocation = m_program->uniformLocation("model");
    m_viewLocation = m_program->uniformLocation("view");
    m_projectionLocation = m_program->uniformLocation("projection");
    m_texYLocation = m_program->uniformLocation("tex_y");
    m_texULocation = m_program->uniformLocation("tex_u");
    m_texVLocation = m_program->uniformLocation("tex_v");
    m_strideScaleYLocation = m_program->uniformLocation("strideScaleY");
    m_strideScaleULocation = m_program->uniformLocation("strideScaleU");
    m_strideScaleVLocation = m_program->uniformLocation("strideScaleV");
    return true;
}

void OpenGLWidget::resizeGL(int w, int h)
{
    m_projection.setToIdentity();
    m_projection.ortho(-w, w, -h, h, 0.1f, 100.0f);
}

void OpenGLWidget::uploadPlane(
    int unit, QOpenGLTexture* texture, const uint8_t* data, uint32_t stride, uint32_t rows)
{
    glActiveTexture(GL_TEXTURE0 + unit);
    texture->bind();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RED, GLsizei(stride), GLsizei(rows), 0, GL_RED, GL_UNSIGNED_BYTE, data);
}

void OpenGLWidget::paintGL()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    QMutexLocker lock(&m_mutex);
    if (!m_program || !m_program->isLinked() || !m_frame || !m_frame->data || m_frame->width == 0
        || m_frame->height == 0)
        return;
    const I420Frame& frame = *m_frame;

    QOpenGLVertexArrayObject::Binder binder(&m_vertexArray);
    m_program->bind();
    const int rotation = normalizedRotation(frame.rotation);
    const QSizeF size
        = fittedPictureSize(QSizeF(frame.width, frame.height), rotation, QSizeF(width(), height()));
    QMatrix4x4 model;
    model.scale(float(size.width()), float(size.height()), 1.0f);
    // OpenGL turns counter-clockwise for positive angles; frames turn clockwise.
    model.rotate(-float(rotation), 0.0f, 0.0f, 1.0f);
    QMatrix4x4 view;
    view.translate(0.0f, 0.0f, -6.0f);
    m_program->setUniformValue(m_modelLocation, model);
    m_program->setUniformValue(m_viewLocation, view);
    m_program->setUniformValue(m_projectionLocation, m_projection);

    // Rows of any length: strides need not be multiples of 4. The chroma planes have (height + 1) / 2 rows.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    uploadPlane(0, m_textures[0], frame.dataY(), frame.strideY(), frame.height);
    uploadPlane(1, m_textures[1], frame.dataU(), frame.strideU(), frame.chromaRows());
    uploadPlane(2, m_textures[2], frame.dataV(), frame.strideV(), frame.chromaRows());
    m_program->setUniformValue(m_texYLocation, 0);
    m_program->setUniformValue(m_texULocation, 1);
    m_program->setUniformValue(m_texVLocation, 2);
    m_program->setUniformValue(m_strideScaleYLocation, lumaStrideScale(frame.width, frame.strideY()));
    m_program->setUniformValue(m_strideScaleULocation, chromaStrideScale(frame.width, frame.strideU()));
    m_program->setUniformValue(m_strideScaleVLocation, chromaStrideScale(frame.width, frame.strideV()));

    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    m_program->release();
    glActiveTexture(GL_TEXTURE0);
}

void OpenGLWidget::cleanup()
{
    if (!m_program && !m_textures[0])
        return;
    makeCurrent();
    m_vertexBuffer.destroy();
    m_vertexArray.destroy();
    for (QOpenGLTexture*& texture : m_textures) {
        delete texture;
        texture = nullptr;
    }
    delete m_program;
    m_program = nullptr;
    doneCurrent();
}
