// The RTF control words the program's readers know, with their kind. Words
// not in this list come back as RtfKw::Unknown; readers ignore them (and skip
// their group when it was marked ignorable with "\*").
#pragma once

#include <cstdint>
#include <string_view>

namespace zt {

// Kinds of control words.
enum class RtfKwKind : uint8_t {
    Other,      // known, no group of its own
    Dest,       // starts a destination: the group holds no body text of its own
    Char,       // character attribute
    Para,       // paragraph attribute
    Special,    // special character or break
    Pict,       // picture attribute
    Table,      // table definition
};

// X(enumerator, word, kind). Enumerators that would be C++ keywords carry a
// trailing underscore.
#define ZT_RTF_WORDS(X) \
    X(additive, "additive", Other) X(aftncn, "aftncn", Dest) X(aftnsep, "aftnsep", Dest) \
    X(aftnsepc, "aftnsepc", Dest) X(annotation, "annotation", Dest) X(ansi, "ansi", Other) \
    X(ansicpg, "ansicpg", Other) X(atnauthor, "atnauthor", Dest) X(atndate, "atndate", Dest) \
    X(atnicn, "atnicn", Dest) X(atnid, "atnid", Dest) X(atnparent, "atnparent", Dest) \
    X(atnref, "atnref", Dest) X(atntime, "atntime", Dest) X(atrfend, "atrfend", Dest) \
    X(atrfstart, "atrfstart", Dest) X(author, "author", Dest) X(b, "b", Char) \
    X(background, "background", Dest) X(bin, "bin", Pict) X(bkmkend, "bkmkend", Dest) \
    X(bkmkstart, "bkmkstart", Dest) X(blipuid, "blipuid", Dest) X(blue, "blue", Other) \
    X(bullet, "bullet", Special) X(buptim, "buptim", Dest) X(caps, "caps", Char) \
    X(category, "category", Dest) X(cb, "cb", Char) X(cell, "cell", Special) \
    X(cellx, "cellx", Table) X(cf, "cf", Char) X(clbrdrb, "clbrdrb", Table) \
    X(clbrdrl, "clbrdrl", Table) X(clbrdrr, "clbrdrr", Table) X(clbrdrt, "clbrdrt", Table) \
    X(clcbpat, "clcbpat", Table) X(clftsWidth, "clftsWidth", Table) X(clshdng, "clshdng", Table) \
    X(clvertalb, "clvertalb", Table) X(clvertalc, "clvertalc", Table) \
    X(clvertalt, "clvertalt", Table) X(clvmgf, "clvmgf", Table) X(clvmrg, "clvmrg", Table) \
    X(clwWidth, "clwWidth", Table) X(colorschememapping, "colorschememapping", Dest) \
    X(colortbl, "colortbl", Dest) X(cols, "cols", Other) X(comment, "comment", Dest) \
    X(company, "company", Dest) X(cpg, "cpg", Other) X(creatim, "creatim", Dest) \
    X(cs, "cs", Other) X(datafield, "datafield", Dest) X(datastore, "datastore", Dest) \
    X(defchp, "defchp", Dest) X(deff, "deff", Other) X(defpap, "defpap", Dest) \
    X(deleted, "deleted", Char) X(dibitmap, "dibitmap", Pict) X(dn, "dn", Char) \
    X(do_, "do", Dest) X(doccomm, "doccomm", Dest) X(docvar, "docvar", Dest) \
    X(dptxbxtext, "dptxbxtext", Dest) X(ds, "ds", Other) X(dy, "dy", Other) \
    X(ebcend, "ebcend", Dest) X(ebcstart, "ebcstart", Dest) X(emdash, "emdash", Special) \
    X(emfblip, "emfblip", Pict) X(emspace, "emspace", Special) X(endash, "endash", Special) \
    X(enspace, "enspace", Special) X(f, "f", Char) X(factoidname, "factoidname", Dest) \
    X(falt, "falt", Dest) X(fbidi, "fbidi", Other) X(fchars, "fchars", Dest) \
    X(fcharset, "fcharset", Other) X(fdecor, "fdecor", Other) X(ffdeftext, "ffdeftext", Dest) \
    X(ffentrymcr, "ffentrymcr", Dest) X(ffexitmcr, "ffexitmcr", Dest) \
    X(ffformat, "ffformat", Dest) X(ffhelptext, "ffhelptext", Dest) X(ffl, "ffl", Dest) \
    X(ffname, "ffname", Dest) X(ffstattext, "ffstattext", Dest) X(fi, "fi", Para) \
    X(field, "field", Dest) X(file, "file", Dest) X(filetbl, "filetbl", Dest) \
    X(fldinst, "fldinst", Dest) X(fldrslt, "fldrslt", Dest) X(fldtype, "fldtype", Dest) \
    X(fmodern, "fmodern", Other) X(fname, "fname", Dest) X(fnil, "fnil", Other) \
    X(fontemb, "fontemb", Dest) X(fontfile, "fontfile", Dest) X(fonttbl, "fonttbl", Dest) \
    X(footer, "footer", Dest) X(footerf, "footerf", Dest) X(footerl, "footerl", Dest) \
    X(footerr, "footerr", Dest) X(footnote, "footnote", Dest) X(formfield, "formfield", Dest) \
    X(fprq, "fprq", Other) X(froman, "froman", Other) X(fs, "fs", Char) \
    X(fscript, "fscript", Other) X(fswiss, "fswiss", Other) X(ftech, "ftech", Other) \
    X(ftncn, "ftncn", Dest) X(ftnsep, "ftnsep", Dest) X(ftnsepc, "ftnsepc", Dest) \
    X(g, "g", Dest) X(generator, "generator", Dest) X(green, "green", Other) \
    X(gridtbl, "gridtbl", Dest) X(header, "header", Dest) X(headerf, "headerf", Dest) \
    X(headerl, "headerl", Dest) X(headerr, "headerr", Dest) X(highlight, "highlight", Char) \
    X(hl, "hl", Dest) X(hlfr, "hlfr", Dest) X(hlinkbase, "hlinkbase", Dest) \
    X(hlloc, "hlloc", Dest) X(hlsrc, "hlsrc", Dest) X(hr, "hr", Other) X(hsv, "hsv", Dest) \
    X(htmltag, "htmltag", Dest) X(i, "i", Char) X(ilvl, "ilvl", Para) \
    X(info, "info", Dest) X(intbl, "intbl", Para) X(itap, "itap", Para) \
    X(jpegblip, "jpegblip", Pict) X(keycode, "keycode", Dest) X(keywords, "keywords", Dest) \
    X(latentstyles, "latentstyles", Dest) X(lchars, "lchars", Dest) X(ldblquote, "ldblquote", Special) \
    X(levelnumbers, "levelnumbers", Dest) X(leveltext, "leveltext", Dest) \
    X(lfolevel, "lfolevel", Dest) X(li, "li", Para) X(line, "line", Special) \
    X(linkval, "linkval", Dest) X(list, "list", Dest) X(listlevel, "listlevel", Dest) \
    X(listname, "listname", Dest) X(listoverride, "listoverride", Dest) \
    X(listoverridetable, "listoverridetable", Dest) X(listpicture, "listpicture", Dest) \
    X(liststylename, "liststylename", Dest) X(listtable, "listtable", Dest) \
    X(listtext, "listtext", Dest) X(lquote, "lquote", Special) X(ls, "ls", Para) \
    X(lsdlockedexcept, "lsdlockedexcept", Dest) X(mac, "mac", Other) \
    X(macpict, "macpict", Pict) X(manager, "manager", Dest) X(min, "min", Other) \
    X(mmath, "mmath", Dest) X(mmathPict, "mmathPict", Dest) X(mmathPr, "mmathPr", Dest) \
    X(mo, "mo", Other) X(nestcell, "nestcell", Special) X(nestrow, "nestrow", Special) \
    X(nesttableprops, "nesttableprops", Dest) X(nextfile, "nextfile", Dest) \
    X(nofchars, "nofchars", Other) X(nofcharsws, "nofcharsws", Other) \
    X(nofpages, "nofpages", Other) X(nofwords, "nofwords", Other) \
    X(nonesttables, "nonesttables", Dest) X(nonshppict, "nonshppict", Dest) \
    X(nosupersub, "nosupersub", Char) X(objalias, "objalias", Dest) \
    X(objclass, "objclass", Dest) X(objdata, "objdata", Dest) X(object, "object", Dest) \
    X(objname, "objname", Dest) X(objsect, "objsect", Dest) X(objtime, "objtime", Dest) \
    X(oldcprops, "oldcprops", Dest) X(oldpprops, "oldpprops", Dest) \
    X(oldsprops, "oldsprops", Dest) X(oldtprops, "oldtprops", Dest) \
    X(oleclsid, "oleclsid", Dest) X(operator_, "operator", Dest) X(page, "page", Special) \
    X(panose, "panose", Dest) X(par, "par", Special) X(pard, "pard", Para) \
    X(password, "password", Dest) X(passwordhash, "passwordhash", Dest) X(pc, "pc", Other) \
    X(pca, "pca", Other) X(pgdsctbl, "pgdsctbl", Dest) X(pgp, "pgp", Dest) \
    X(pgptbl, "pgptbl", Dest) X(pich, "pich", Pict) X(pichgoal, "pichgoal", Pict) \
    X(picprop, "picprop", Dest) X(picscalex, "picscalex", Pict) \
    X(picscaley, "picscaley", Pict) X(pict, "pict", Dest) X(picw, "picw", Pict) \
    X(picwgoal, "picwgoal", Pict) X(plain, "plain", Char) X(pn, "pn", Dest) \
    X(pngblip, "pngblip", Pict) X(pnseclvl, "pnseclvl", Dest) X(pntext, "pntext", Dest) \
    X(pntxta, "pntxta", Dest) X(pntxtb, "pntxtb", Dest) X(printim, "printim", Dest) \
    X(private_, "private", Dest) X(propname, "propname", Dest) X(protend, "protend", Dest) \
    X(protstart, "protstart", Dest) X(protusertbl, "protusertbl", Dest) X(pxe, "pxe", Dest) \
    X(qc, "qc", Para) X(qj, "qj", Para) X(ql, "ql", Para) X(qr, "qr", Para) \
    X(rdblquote, "rdblquote", Special) X(red, "red", Other) X(result, "result", Dest) \
    X(revtbl, "revtbl", Dest) X(revtim, "revtim", Dest) X(ri, "ri", Para) \
    X(row, "row", Special) X(rquote, "rquote", Special) X(rsidtbl, "rsidtbl", Dest) \
    X(rtf, "rtf", Other) X(rxe, "rxe", Dest) X(s, "s", Para) X(sbasedon, "sbasedon", Other) \
    X(scaps, "scaps", Char) X(sec, "sec", Other) X(sect, "sect", Special) \
    X(sectd, "sectd", Other) X(shp, "shp", Dest) X(shpgrp, "shpgrp", Dest) \
    X(shpinst, "shpinst", Dest) X(shppict, "shppict", Dest) X(shprslt, "shprslt", Dest) \
    X(shptxt, "shptxt", Dest) X(sn, "sn", Dest) X(snext, "snext", Other) X(sp, "sp", Dest) \
    X(staticval, "staticval", Dest) X(strike, "strike", Char) X(striked, "striked", Char) \
    X(stylesheet, "stylesheet", Dest) X(sub, "sub", Char) X(subject, "subject", Dest) \
    X(super, "super", Char) X(sv, "sv", Dest) X(svb, "svb", Dest) X(tab, "tab", Special) \
    X(tc, "tc", Dest) X(template_, "template", Dest) X(themedata, "themedata", Dest) \
    X(title, "title", Dest) X(trautofit, "trautofit", Table) X(trbrdrb, "trbrdrb", Table) \
    X(trbrdrh, "trbrdrh", Table) X(trbrdrl, "trbrdrl", Table) X(trbrdrr, "trbrdrr", Table) \
    X(trbrdrt, "trbrdrt", Table) X(trbrdrv, "trbrdrv", Table) X(trftsWidth, "trftsWidth", Table) \
    X(trgaph, "trgaph", Table) X(trhdr, "trhdr", Table) X(trkeep, "trkeep", Table) \
    X(trleft, "trleft", Table) X(trowd, "trowd", Table) X(trqc, "trqc", Table) \
    X(trql, "trql", Table) X(trqr, "trqr", Table) X(trrh, "trrh", Table) \
    X(trwWidth, "trwWidth", Table) X(ts, "ts", Other) X(txe, "txe", Dest) X(u, "u", Other) \
    X(uc, "uc", Other) X(ud, "ud", Dest) X(ul, "ul", Char) X(uld, "uld", Char) \
    X(uldash, "uldash", Char) X(uldashd, "uldashd", Char) X(uldashdd, "uldashdd", Char) \
    X(uldb, "uldb", Char) X(ulhwave, "ulhwave", Char) X(ulldash, "ulldash", Char) \
    X(ulnone, "ulnone", Char) X(ulth, "ulth", Char) X(ulthd, "ulthd", Char) \
    X(ulthdash, "ulthdash", Char) X(ulthdashd, "ulthdashd", Char) \
    X(ulthdashdd, "ulthdashdd", Char) X(ulthldash, "ulthldash", Char) \
    X(ululdbwave, "ululdbwave", Char) X(ulw, "ulw", Char) X(ulwave, "ulwave", Char) \
    X(up, "up", Char) X(upr, "upr", Dest) X(userprops, "userprops", Dest) \
    X(version, "version", Other) X(verscomm, "verscomm", Dest) \
    X(wbitmap, "wbitmap", Pict) X(wgrffmtfilter, "wgrffmtfilter", Dest) \
    X(windowcaption, "windowcaption", Dest) X(wmetafile, "wmetafile", Pict) \
    X(writereservation, "writereservation", Dest) X(writereservhash, "writereservhash", Dest) \
    X(xe, "xe", Dest) X(xform, "xform", Dest) X(xmlattrname, "xmlattrname", Dest) \
    X(xmlattrvalue, "xmlattrvalue", Dest) X(xmlclose, "xmlclose", Dest) \
    X(xmlname, "xmlname", Dest) X(xmlnstbl, "xmlnstbl", Dest) X(xmlopen, "xmlopen", Dest) \
    X(yr, "yr", Other) X(ztxbgcolor, "ztxbgcolor", Other) X(ztxext, "ztxext", Dest) \
    X(ztxheight, "ztxheight", Other) X(ztxjpeg, "ztxjpeg", Dest) X(ztxpict, "ztxpict", Dest) \
    X(ztxpng, "ztxpng", Dest) X(ztxwidth, "ztxwidth", Other)

enum class RtfKw : uint16_t {
    Unknown,
#define ZT_RTF_ENUM(id, word, kind) id,
    ZT_RTF_WORDS(ZT_RTF_ENUM)
#undef ZT_RTF_ENUM
    Count_
};

// The known word of `word` (letters only), or RtfKw::Unknown.
RtfKw LookupRtfWord(std::string_view word);
RtfKwKind RtfWordKind(RtfKw kw);
std::string_view RtfWordText(RtfKw kw);

} // namespace zt
