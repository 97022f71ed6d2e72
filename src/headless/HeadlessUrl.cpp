#include "HeadlessUrl.h"

#include <algorithm>
#include <cctype>

namespace pel::headless {

namespace {

struct TUrl {
  AnsiString Scheme;  // without ":"; empty for a relative reference
  bool HasAuthority = false;
  AnsiString Authority;
  AnsiString Path;
  bool HasQuery = false;
  AnsiString Query;  // without "?"
  bool HasFragment = false;
  AnsiString Fragment;  // without "#"
};

bool IsHierarchical(const AnsiString& Scheme) {
  return Scheme == "http" || Scheme == "https" || Scheme == "ftp" || Scheme == "file";
}

AnsiString Lower(AnsiString S) {
  std::transform(S.begin(), S.end(), S.begin(), [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
  return S;
}

AnsiString Trim(const AnsiString& S) {
  size_t B = 0, E = S.size();
  while (B < E && static_cast<unsigned char>(S[B]) <= 32) ++B;
  while (E > B && static_cast<unsigned char>(S[E - 1]) <= 32) --E;
  return S.substr(B, E - B);
}

// Length of a scheme followed by ":" at the start of S, or 0. A single letter is a drive, not a scheme.
size_t SchemeLength(const AnsiString& S) {
  if (S.empty() || !std::isalpha(static_cast<unsigned char>(S[0]))) return 0;
  size_t I = 1;
  while (I < S.size() && (std::isalnum(static_cast<unsigned char>(S[I])) || S[I] == '+' || S[I] == '-' || S[I] == '.'))
    ++I;
  return I < S.size() && S[I] == ':' && I > 1 ? I : 0;
}

// Pages write "\" for "/" in addresses and the browser accepts it; only before the query or fragment.
void ForwardSlashes(AnsiString& S) {
  const size_t End = std::min(S.find('?'), S.find('#'));
  for (size_t I = 0; I < S.size() && I < End; ++I)
    if (S[I] == '\\') S[I] = '/';
}

TUrl Parse(AnsiString S) {
  TUrl U;
  if (const size_t N = SchemeLength(S)) {
    U.Scheme = Lower(S.substr(0, N));
    S.erase(0, N + 1);
  }
  if (const size_t P = S.find('#'); P != AnsiString::npos) {
    U.HasFragment = true;
    U.Fragment = S.substr(P + 1);
    S.erase(P);
  }
  if (const size_t P = S.find('?'); P != AnsiString::npos) {
    U.HasQuery = true;
    U.Query = S.substr(P + 1);
    S.erase(P);
  }
  if (S.rfind("//", 0) == 0) {
    U.HasAuthority = true;
    const size_t P = S.find('/', 2);
    U.Authority = S.substr(2, P == AnsiString::npos ? AnsiString::npos : P - 2);
    S = P == AnsiString::npos ? AnsiString() : S.substr(P);
  }
  U.Path = S;
  return U;
}

AnsiString RemoveDotSegments(AnsiString In) {
  AnsiString Out;
  while (!In.empty()) {
    if (In.rfind("../", 0) == 0) {
      In.erase(0, 3);
    } else if (In.rfind("./", 0) == 0) {
      In.erase(0, 2);
    } else if (In.rfind("/./", 0) == 0) {
      In.erase(0, 2);
    } else if (In == "/.") {
      In = "/";
    } else if (In.rfind("/../", 0) == 0 || In == "/..") {
      In = In.size() == 3 ? AnsiString("/") : In.substr(3);
      const size_t P = Out.rfind('/');
      Out.erase(P == AnsiString::npos ? 0 : P);
    } else if (In == "." || In == "..") {
      In.clear();
    } else {
      const size_t P = In.find('/', In[0] == '/' ? 1 : 0);
      Out += In.substr(0, P);
      In = P == AnsiString::npos ? AnsiString() : In.substr(P);
    }
  }
  return Out;
}

// Characters the browser escapes in a path, bytes of the system code page above ASCII included;
// the query and fragment are left as written.
AnsiString EscapePath(const AnsiString& Path) {
  static const char Hex[] = "0123456789ABCDEF";
  AnsiString Out;
  for (unsigned char C : Path) {
    if (C <= 32 || C >= 127 || C == '"' || C == '<' || C == '>' || C == '{' || C == '}' || C == '|' || C == '^' ||
        C == '`') {
      Out += '%';
      Out += Hex[C >> 4];
      Out += Hex[C & 15];
    } else {
      Out += static_cast<char>(C);
    }
  }
  return Out;
}

AnsiString Compose(const TUrl& U) {
  AnsiString S = U.Scheme + ":";
  if (U.HasAuthority) S += "//" + U.Authority;
  S += U.Path;
  if (U.HasQuery) S += "?" + U.Query;
  if (U.HasFragment) S += "#" + U.Fragment;
  return S;
}

}  // namespace

bool THeadlessUrlServices::CombineUrl(const AnsiString& BaseText, const AnsiString& RelativeText, uint32_t,
                                      uint32_t BufferLength, AnsiString& Result) const {
  const TUrl Base = Parse(Trim(BaseText));
  if (Base.Scheme.empty()) return false;
  AnsiString RelativeString = Trim(RelativeText);
  const size_t RelativeScheme = SchemeLength(RelativeString);
  if (!RelativeScheme || IsHierarchical(Lower(RelativeString.substr(0, RelativeScheme))))
    ForwardSlashes(RelativeString);
  TUrl R = Parse(RelativeString);

  TUrl T;
  // "http:page.html" on an http page is a relative reference, as browsers read it.
  const bool SameSchemeRelative = R.Scheme == Base.Scheme && IsHierarchical(R.Scheme) && !R.HasAuthority;
  if (!R.Scheme.empty() && !SameSchemeRelative) {
    T = R;
  } else {
    // Nothing is relative to an opaque address such as "mailto:" or "about:".
    if (!IsHierarchical(Base.Scheme)) return false;
    T.Scheme = Base.Scheme;
    if (R.HasAuthority) {
      T.HasAuthority = true;
      T.Authority = R.Authority;
      T.Path = R.Path;
      T.HasQuery = R.HasQuery;
      T.Query = R.Query;
    } else {
      T.HasAuthority = Base.HasAuthority;
      T.Authority = Base.Authority;
      if (R.Path.empty()) {
        // A bare query replaces only the query: the page itself is asked again with new arguments.
        T.Path = Base.Path;
        T.HasQuery = R.HasQuery || Base.HasQuery;
        T.Query = R.HasQuery ? R.Query : Base.Query;
      } else {
        if (R.Path[0] == '/') {
          T.Path = R.Path;
        } else if (Base.HasAuthority && Base.Path.empty()) {
          T.Path = "/" + R.Path;
        } else {
          // Next to the base document: a base ending in a name without "/" names a document.
          const size_t Slash = Base.Path.rfind('/');
          T.Path = (Slash == AnsiString::npos ? AnsiString() : Base.Path.substr(0, Slash + 1)) + R.Path;
        }
        T.HasQuery = R.HasQuery;
        T.Query = R.Query;
      }
    }
    T.HasFragment = R.HasFragment;
    T.Fragment = R.Fragment;
  }

  if (IsHierarchical(T.Scheme)) {
    T.Path = EscapePath(RemoveDotSegments(T.Path));
    if (T.HasAuthority && T.Path.empty()) T.Path.push_back('/');
  }
  AnsiString Combined = Compose(T);
  if (Combined.size() + 1 > BufferLength) return false;
  Result = std::move(Combined);
  return true;
}

}  // namespace pel::headless
