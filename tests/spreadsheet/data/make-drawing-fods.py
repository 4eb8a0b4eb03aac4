#!/usr/bin/env python3
# Writes the flat-ODF sources of the drawing test workbooks: pictures (drawing-pic.png, drawing-pic.jpg inline),
# a comment, shapes, charts and form controls on a small customer table.
import base64, os

here = os.path.dirname(os.path.abspath(__file__))
def b64(name): return base64.b64encode(open(os.path.join(here, name), 'rb').read()).decode()

NS = ' '.join(f'xmlns:{k}="{v}"' for k, v in {
    'office': 'urn:oasis:names:tc:opendocument:xmlns:office:1.0', 'style': 'urn:oasis:names:tc:opendocument:xmlns:style:1.0',
    'text': 'urn:oasis:names:tc:opendocument:xmlns:text:1.0', 'table': 'urn:oasis:names:tc:opendocument:xmlns:table:1.0',
    'draw': 'urn:oasis:names:tc:opendocument:xmlns:drawing:1.0', 'fo': 'urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0',
    'xlink': 'http://www.w3.org/1999/xlink', 'dc': 'http://purl.org/dc/elements/1.1/',
    'svg': 'urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0', 'chart': 'urn:oasis:names:tc:opendocument:xmlns:chart:1.0',
    'form': 'urn:oasis:names:tc:opendocument:xmlns:form:1.0', 'script': 'urn:oasis:names:tc:opendocument:xmlns:script:1.0',
    'ooo': 'http://openoffice.org/2004/office', 'loext': 'urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0',
    'xforms': 'http://www.w3.org/2002/xforms', 'dr3d': 'urn:oasis:names:tc:opendocument:xmlns:dr3d:1.0'}.items())

ROWS = [["Name", "Ort", "Umsatz"], ["Müller", "Köln", 10], ["Schmidt", "Bonn", 20], ["Weber", "Ulm", 30], ["Koch", "Hof", 40], ["Wolf", "Gera", 50]]

def cell(v, extra=''):
    if isinstance(v, (int, float)):
        return f'<table:table-cell office:value-type="float" office:value="{v}"><text:p>{v}</text:p>{extra}</table:table-cell>'
    return f'<table:table-cell office:value-type="string"><text:p>{v}</text:p>{extra}</table:table-cell>'

def table(name, anchored='', note=False):
    rows = []
    for r, row in enumerate(ROWS):
        cells = []
        for c, v in enumerate(row):
            extra = anchored if (r, c) == (0, 0) else ''
            if note and (r, c) == (1, 1):
                extra += ('<office:annotation office:display="false" svg:width="4cm" svg:height="2cm" svg:x="3cm" svg:y="0.2cm">'
                          '<dc:creator>Tester</dc:creator><text:p>Notiz Ä</text:p></office:annotation>')
            cells.append(cell(v, extra))
        rows.append('<table:table-row>' + ''.join(cells) + '</table:table-row>')
    return f'<table:table table:name="{name}"><table:table-column table:number-columns-repeated="3"/>{"".join(rows)}</table:table>'

def chart(cls, x, y, title, three_d=False, series_class=None):
    styles = ''
    plot_style = ''
    if three_d:
        styles = '<office:automatic-styles><style:style style:name="p3d" style:family="chart"><style:chart-properties chart:three-dimensional="true" chart:deep="false"/></style:style></office:automatic-styles>'
        plot_style = ' chart:style-name="p3d"'
    if cls == 'scatter':
        series = ('<chart:series chart:class="chart:scatter" chart:values-cell-range-address="Kunden.C2:Kunden.C3" chart:label-cell-address="Kunden.C1">'
                  '<chart:domain table:cell-range-address="Kunden.C4:Kunden.C5"/></chart:series>')
    else:
        series = '<chart:series chart:values-cell-range-address="Kunden.C2:Kunden.C3" chart:label-cell-address="Kunden.C1"/>'
    return (f'<draw:frame draw:name="{title}" svg:width="8cm" svg:height="5cm" svg:x="{x}" svg:y="{y}"><draw:object>'
            f'<office:document office:mimetype="application/vnd.oasis.opendocument.chart" office:version="1.3">{styles}<office:body><office:chart>'
            f'<chart:chart chart:class="chart:{cls}" svg:width="8cm" svg:height="5cm"><chart:title><text:p>{title}</text:p></chart:title>'
            f'<chart:legend chart:legend-position="end"/>'
            f'<chart:plot-area{plot_style} table:cell-range-address="Kunden.A1:Kunden.A3 Kunden.C1:Kunden.C3" chart:data-source-has-labels="both">'
            f'<chart:axis chart:dimension="x" chart:name="primary-x"><chart:categories table:cell-range-address="Kunden.A2:Kunden.A3"/></chart:axis>'
            f'<chart:axis chart:dimension="y" chart:name="primary-y"/>{series}</chart:plot-area></chart:chart>'
            f'</office:chart></office:body></office:document></draw:object></draw:frame>')

def picture(name, file, mime, x, y):
    return (f'<draw:frame draw:name="{name}" svg:width="2cm" svg:height="1.5cm" svg:x="{x}" svg:y="{y}">'
            f'<draw:image loext:mime-type="{mime}"><office:binary-data>{b64(file)}</office:binary-data></draw:image></draw:frame>')

def document(body, styles='', auto='', forms=''):
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n<office:document {NS} office:version="1.3" '
            f'office:mimetype="application/vnd.oasis.opendocument.spreadsheet">\n<office:styles>{styles}</office:styles>\n'
            f'<office:automatic-styles>{auto}</office:automatic-styles>\n<office:body><office:spreadsheet>\n{body}\n'
            f'</office:spreadsheet></office:body></office:document>\n')

def write(name, text):
    with open(os.path.join(here, name), 'w', encoding='utf-8') as f: f.write(text)

# drawing-shapes.fods: a comment, a PNG picture, a bar chart; then a JPEG, a text box, a rectangle, an
# ellipse and an arrow; a second sheet without drawings.
marker = '<draw:marker draw:name="Arrow" svg:viewBox="0 0 20 30" svg:d="M10 0l-10 30h20z"/>'
arrow_style = '<style:style style:name="gr2" style:family="graphic"><style:graphic-properties draw:marker-end="Arrow" draw:marker-end-width="0.3cm"/></style:style>'
shapes = (picture('BildPNG', 'drawing-pic.png', 'image/png', '9cm', '0.5cm') + chart('bar', '0.2cm', '4cm', 'Umsatz') +
          picture('BildJPG', 'drawing-pic.jpg', 'image/jpeg', '12cm', '0.5cm') +
          '<draw:frame draw:name="Textfeld" svg:width="4cm" svg:height="1cm" svg:x="9cm" svg:y="3cm"><draw:text-box><text:p>Hallo Box</text:p></draw:text-box></draw:frame>'
          '<draw:rect draw:name="Rechteck" svg:width="2cm" svg:height="1cm" svg:x="9cm" svg:y="5cm"/>'
          '<draw:ellipse draw:name="Ellipse" svg:width="2cm" svg:height="1cm" svg:x="12cm" svg:y="5cm"/>'
          '<draw:line draw:name="Pfeil" draw:style-name="gr2" svg:x1="9cm" svg:y1="7cm" svg:x2="13cm" svg:y2="8cm"/>')
write('drawing-shapes.fods', document(table('Kunden', shapes, note=True) +
                               '<table:table table:name="Leer"><table:table-row>' + cell('x') + '</table:table-row></table:table>',
                               styles=marker, auto=arrow_style))

# drawing-charts.fods: pie, line, scatter and a 3-D column chart, each with a legend.
charts = (chart('circle', '0.2cm', '4cm', 'Kreis') + chart('line', '9cm', '4cm', 'Linie') +
          chart('scatter', '0.2cm', '10cm', 'Punkte') + chart('bar', '9cm', '10cm', 'Säulen 3D', three_d=True))
write('drawing-charts.fods', document(table('Kunden', charts)))

# drawing-controls.fods: a list box and a combo box filled from A1:A6 and linked to C5 and C6,
# and a button that runs the macro Makro1.
forms = ('<office:forms form:automatic-focus="false" form:apply-design-mode="false">'
         '<form:form form:name="Standard" form:apply-filter="true" form:command-type="table" form:control-implementation="ooo:com.sun.star.form.component.Form">'
         '<form:listbox form:name="Liste" form:control-implementation="ooo:com.sun.star.form.component.ListBox" xml:id="control1" form:id="control1" form:size="5" '
         'form:source-cell-range="Kunden.A1:Kunden.A6" form:linked-cell="Kunden.C5" form:bound-column="1"/>'
         '<form:combobox form:name="Kombi" form:control-implementation="ooo:com.sun.star.form.component.ComboBox" xml:id="control2" form:id="control2" form:dropdown="true" '
         'form:source-cell-range="Kunden.A1:Kunden.A6" form:linked-cell="Kunden.C6"/>'
         '<form:button form:name="Knopf" form:control-implementation="ooo:com.sun.star.form.component.CommandButton" xml:id="control3" form:id="control3" form:label="Start">'
         '<office:event-listeners><script:event-listener script:language="ooo:script" script:event-name="form:performaction" '
         'xlink:href="vnd.sun.star.script:Standard.Module1.Makro1?language=Basic&amp;location=document" xlink:type="simple"/></office:event-listeners></form:button>'
         '</form:form></office:forms>')
controls = ('<draw:control draw:control="control1" svg:width="3cm" svg:height="2cm" svg:x="9cm" svg:y="0.5cm"/>'
            '<draw:control draw:control="control2" svg:width="3cm" svg:height="0.6cm" svg:x="9cm" svg:y="3cm"/>'
            '<draw:control draw:control="control3" svg:width="3cm" svg:height="0.8cm" svg:x="9cm" svg:y="4cm"/>')
t = table('Kunden', controls)
t = t.replace('<table:table-column', forms + '<table:table-column', 1)
write('drawing-controls.fods', document(t))
